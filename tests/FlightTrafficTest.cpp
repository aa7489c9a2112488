#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "flight/LoadedFlight.h"
#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "track/FlightTraffic.h"
#include "track/RecordedFlight.h"

namespace
{

const double Pi_ = 3.14159265358979323846;

// DataFlash's ADSB as a log without units describes it: degrees in 1e-7 ('L'), the altitude
// in centimetres, the heading in centidegrees and the speed in cm/s.
const char* const AdsbColumns = "TimeUS,ICAO_address,Lat,Lng,Alt,Heading,Hor_vel,Ver_vel,Squawk";
std::string AdsbFields(double seconds, uint32_t address, double latitude, double longitude, double metres, double degrees = 0.0, double speed = 0.0)
{
    return Packer()
        .U64(static_cast<uint64_t>(std::llround(seconds * 1e6)))
        .U32(address)
        .I32(static_cast<int32_t>(std::lround(latitude * 1e7)))
        .I32(static_cast<int32_t>(std::lround(longitude * 1e7)))
        .I32(static_cast<int32_t>(std::lround(metres * 100.0)))
        .U16(static_cast<uint16_t>(std::lround(degrees * 100.0)))
        .U16(static_cast<uint16_t>(std::lround(speed * 100.0)))
        .I16(0)
        .U16(7000)
        .bytes;
}

// ADSB_VEHICLE in the order of the wire: the 4-byte fields, the 2-byte ones, then the bytes.
const char* const AdsbWire[][3] = {
    {"uint32_t", "ICAO_address", ""}, {"int32_t", "lat", ""},        {"int32_t", "lon", ""},          {"int32_t", "altitude", ""},  {"uint16_t", "heading", ""},
    {"uint16_t", "hor_velocity", ""}, {"int16_t", "ver_velocity", ""}, {"uint16_t", "flags", ""},     {"uint16_t", "squawk", ""},   {"uint8_t", "altitude_type", ""},
    {"char", "callsign", "9"},        {"uint8_t", "emitter_type", ""}, {"uint8_t", "tslc", ""},
};

uint8_t AdsbCrcExtra()
{
    std::string text = "ADSB_VEHICLE ";
    for (const auto& field : AdsbWire)
    {
        text += std::string(field[0]) + " " + field[1] + " ";
        if (field[2][0])
            text += static_cast<char>(std::stoi(field[2]));
    }
    const uint16_t crc = X25Checksum(text);
    return static_cast<uint8_t>((crc & 0xFF) ^ (crc >> 8));
}

// Metres apart on the writers' sphere, flat about the flight: north and east by the degrees'
// lengths there, and up.
double FlatDistance(double lat1, double lon1, double lat2, double lon2)
{
    const double north = (lat2 - lat1) * WriterMetresPerDegree;
    const double east = (lon2 - lon1) * WriterMetresPerDegree * std::cos((lat1 + lat2) / 2.0 * Pi_ / 180.0);
    return std::hypot(north, east);
}

} // namespace

class FlightTrafficTest : public DataToolFixture
{
};

TEST_F(FlightTrafficTest, EachAutopilotLogGivesItsTrafficAndLeavesOutImpossiblePlaces)
{
    // DataFlash: units by the telemetry's convention; a 0, 0 place left out, a height no
    // aircraft flies at made unknown.
    DataFlashWriter adsb;
    adsb.Format(201, "ADSB", "QILLiHHhH", AdsbColumns);
    adsb.Message(201, AdsbFields(105.0, 0xA1B2C3, 47.01, 8.02, 610.0, 90.0, 50.0)).Message(201, AdsbFields(106.0, 0xA1B2C3, 0.0, 0.0, 610.0));
    adsb.Message(201, AdsbFields(107.0, 0xA1B2C3, 47.011, 8.02, 50000.0, 359.99, 50.0));
    WriteText("adsb.bin", CircleDataFlash(CircleFlight()) + adsb.bytes);
    RecordedFlight flash;
    ASSERT_TRUE(ReadFlight("adsb.bin", &flash));
    ASSERT_EQ(flash.traffic.size(), 2u);
    const TimedTraffic& first = flash.traffic[0];
    EXPECT_EQ(first.address, 0xA1B2C3u);
    EXPECT_NEAR(first.time, 105.0, 1e-9);
    EXPECT_NEAR(first.latitude, 47.01, 1e-7);
    EXPECT_NEAR(first.longitude, 8.02, 1e-7);
    EXPECT_NEAR(first.altitude, 610.0, 1e-9);
    EXPECT_NEAR(first.heading, 90.0, 1e-9);
    EXPECT_NEAR(first.speed, 50.0, 1e-9);
    EXPECT_TRUE(first.callsign.empty());
    EXPECT_TRUE(std::isnan(flash.traffic[1].altitude));
    EXPECT_NEAR(flash.traffic[1].heading, 359.99, 1e-9);
    EXPECT_EQ(std::count(flash.notes.begin(), flash.notes.end(), "1 traffic report with impossible positions left out"), 1) << ::testing::PrintToString(flash.notes);

    // ULog: degrees as doubles, the heading in radians, the callsign trimmed; values its flags
    // do not call valid are unknown.
    ULogWriter ulog(0);
    ulog.Format("transponder_report:uint64_t timestamp;uint32_t icao_address;double lat;double lon;float altitude;float heading;float hor_velocity;char[9] callsign;uint16_t flags;")
        .Subscribe(0, 78, "transponder_report");
    const auto report = [](double seconds, double latitude, float heading, uint16_t flags)
    { return Packer().U64(static_cast<uint64_t>(seconds * 1e6)).U32(0x3C6444).F64(latitude).F64(8.001).F32(700.0f).F32(heading).F32(40.0f).Text(" TST4X ", 9).U16(flags).bytes; };
    ulog.Data(78, report(104.0, 47.005, static_cast<float>(Pi_ / 2.0), 15)).Data(78, report(105.0, 47.006, 1.0f, 1)).Data(78, report(106.0, 91.0, 1.0f, 15));
    WriteText("px4.ulg", CircleULog(CircleFlight()) + ulog.bytes.substr(16));
    RecordedFlight px4;
    ASSERT_TRUE(ReadFlight("px4.ulg", &px4));
    ASSERT_EQ(px4.traffic.size(), 2u);
    EXPECT_EQ(px4.traffic[0].callsign, "TST4X");
    EXPECT_EQ(px4.traffic[0].address, 0x3C6444u);
    EXPECT_NEAR(px4.traffic[0].time, 104.0, 1e-6);
    EXPECT_NEAR(px4.traffic[0].latitude, 47.005, 1e-12);
    EXPECT_NEAR(px4.traffic[0].altitude, 700.0, 1e-4);
    EXPECT_NEAR(px4.traffic[0].heading, 90.0, 1e-4);
    EXPECT_NEAR(px4.traffic[0].speed, 40.0, 1e-4);
    EXPECT_NEAR(px4.traffic[1].latitude, 47.006, 1e-12);
    EXPECT_TRUE(std::isnan(px4.traffic[1].altitude) && std::isnan(px4.traffic[1].heading) && std::isnan(px4.traffic[1].speed));
    EXPECT_EQ(std::count(px4.notes.begin(), px4.notes.end(), "1 traffic report with impossible positions left out"), 1) << ::testing::PrintToString(px4.notes);

    // Telemetry: relayed by a system of its own, the values its flags leave out unknown.
    EXPECT_EQ(AdsbCrcExtra(), AdsbVehiclePayload(0, 0, 0, 0, 0, 0, 0, "").crcExtra) << "the writer's CRC_EXTRA, from the message's definition";
    TelemetryWriter telemetry;
    const uint64_t start = CircleFlight().wallStart * 1000000ull;
    FrameOptions receiver;
    receiver.system = 7;
    telemetry.Record(start + 5000000, AdsbVehiclePayload(0x4CA123, 470020000, 80030000, 650000, 18000, 3000, 3, "N123AB"), receiver);
    telemetry.Record(start + 6000000, AdsbVehiclePayload(0x4CA123, 950000000, 80030000, 650000, 18000, 3000, 3, "N123AB"), receiver);
    WriteText("adsb.tlog", CircleTelemetry(CircleFlight(), 2) + telemetry.bytes);
    RecordedFlight tlog;
    ASSERT_TRUE(ReadFlight("adsb.tlog", &tlog));
    ASSERT_EQ(tlog.traffic.size(), 1u);
    EXPECT_EQ(tlog.traffic[0].callsign, "N123AB");
    EXPECT_NEAR(tlog.traffic[0].time, CircleFlight().bootTime + 5.0, 0.1) << "on the autopilot's clock";
    EXPECT_NEAR(tlog.traffic[0].latitude, 47.002, 1e-9);
    EXPECT_NEAR(tlog.traffic[0].longitude, 8.003, 1e-9);
    EXPECT_NEAR(tlog.traffic[0].altitude, 650.0, 1e-9);
    EXPECT_TRUE(std::isnan(tlog.traffic[0].heading) && std::isnan(tlog.traffic[0].speed));
    EXPECT_EQ(std::count(tlog.notes.begin(), tlog.notes.end(), "1 traffic report with impossible positions left out"), 1) << ::testing::PrintToString(tlog.notes);
}

TEST_F(FlightTrafficTest, TrackWritesTheTrafficBesideTheLogAndLoadingReadsItBackPastABadLine)
{
    TelemetryWriter telemetry;
    const uint64_t start = CircleFlight().wallStart * 1000000ull;
    for (int i = 0; i < 5; ++i)
        telemetry.Record(start + 3000000 + i * 1000000, AdsbVehiclePayload(0xC0FFEE + (i % 2), 470020000 + i * 100, 80030000, 650000 + i * 1000, 4500, 2550, 15, i % 2 ? "" : "AB,C"));
    WriteText("traffic.tlog", CircleTelemetry(CircleFlight(), 2) + telemetry.bytes);
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "traffic.tlog", "--out", "traffic.log", "--json"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("5 traffic reports of 2 aircraft written to traffic.traffic.csv"), std::string::npos) << err;
    const nlohmann::json report = nlohmann::json::parse(out);
    EXPECT_EQ(report["counts"]["traffic_reports"], 5) << out;
    EXPECT_EQ(report["counts"]["traffic_aircraft"], 2) << out;

    RecordedFlight flight;
    ASSERT_TRUE(ReadFlight("traffic.tlog", &flight));
    const LoadedFlight converted = LoadLogQuietly("traffic.log");
    ASSERT_EQ(converted.traffic.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
    {
        const TimedTraffic& back = converted.traffic[i];
        EXPECT_EQ(back.address, flight.traffic[i].address);
        EXPECT_EQ(back.callsign, i % 2 ? "" : "ABC") << "a comma would split the file's line";
        EXPECT_NEAR(back.time, flight.traffic[i].time, 1e-3) << "the rows' clock is the autopilot's own";
        EXPECT_NEAR(back.latitude, flight.traffic[i].latitude, 1e-7);
        EXPECT_NEAR(back.altitude, 650.0 + i, 0.05);
        EXPECT_NEAR(back.heading, 45.0, 0.05);
        EXPECT_NEAR(back.speed, 25.5, 0.005);
    }

    // A line that is no report, or one at an impossible place, is skipped; the rest stay.
    std::string text = ReadText("traffic.traffic.csv");
    ASSERT_EQ(text.compare(0, 64, "time,address,callsign,latitude,longitude,altitude,heading,speed\n"), 0) << text;
    WriteText("traffic.traffic.csv", text + "12.0,XYZ,,47,8,,,\n1.000,ABCDEF,,95,8,,,\n2.000,ABCDEF,,47.1,8.1,,,\n");
    size_t skipped = 0;
    std::string error;
    std::vector<TimedTraffic> read;
    ASSERT_TRUE(ReadTraffic("traffic.traffic.csv", &read, &skipped, &error)) << error;
    ASSERT_EQ(read.size(), 6u);
    EXPECT_EQ(skipped, 2u);
    EXPECT_EQ(read[0].address, 0xABCDEFu) << "sorted by time";
    EXPECT_TRUE(std::isnan(read[0].altitude) && std::isnan(read[0].heading) && std::isnan(read[0].speed));
    EXPECT_EQ(LoadLogQuietly("traffic.log").traffic.size(), 6u);

    // A flight without traffic leaves no file: one from another flight goes.
    WriteText("plain.tlog", CircleTelemetry(CircleFlight(), 2));
    ASSERT_EQ(RunTool({"track", "plain.tlog", "--out", "traffic.log"}, &out, &err), 0) << err;
    EXPECT_FALSE(Exists("traffic.traffic.csv"));
}

TEST_F(FlightTrafficTest, CheckFindsEachAircraftsClosestApproachWithinTheFlight)
{
    CircleFlight circle;
    circle.duration = 40.0;
    const FlightState begin = StateAt(circle, 0.0);
    // One crossing the circle's north at 30 m/s, 40 m above its start; one parked where the
    // flight begins, heard once before it (which must not count) and twice during it.
    const double north = circle.latitude + 180.0 / WriterMetresPerDegree;
    const double west = circle.longitude - 300.0 / (WriterMetresPerDegree * std::cos(circle.latitude * Pi_ / 180.0));
    const double eastPerSecond = 30.0 / (WriterMetresPerDegree * std::cos(circle.latitude * Pi_ / 180.0));
    struct Heard
    {
        double seconds;
        uint32_t address;
        double latitude, longitude, altitude;
    };
    std::vector<Heard> heard;
    for (double s = -4.25; s <= circle.duration + 4.0; s += 0.5)
        heard.push_back(Heard{s, 0xAAA001, north, west + s * eastPerSecond, 540.0});
    heard.push_back(Heard{-3.0, 0xBBB002, begin.latitude, begin.longitude, begin.altitude});
    heard.push_back(Heard{10.0, 0xBBB002, begin.latitude, begin.longitude, begin.altitude});
    heard.push_back(Heard{25.0, 0xBBB002, begin.latitude, begin.longitude, begin.altitude});
    DataFlashWriter adsb;
    adsb.Format(201, "ADSB", "QILLiHHhH", AdsbColumns);
    for (const Heard& h : heard)
        adsb.Message(201, AdsbFields(circle.bootTime + h.seconds, h.address, h.latitude, h.longitude, h.altitude));
    WriteText("near.bin", CircleDataFlash(circle) + adsb.bytes);
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "near.bin", "--out", "near.log"}, &out, &err), 0) << err;

    // The closest of each, within the flight's span, worked out here on a flat Earth.
    struct Closest
    {
        double separation = 1e9, seconds = 0.0, horizontal = 0.0, vertical = 0.0;
    };
    Closest expected[2];
    for (const Heard& h : heard)
    {
        if (h.seconds < 0.0 || h.seconds > circle.duration)
            continue;
        const FlightState ours = StateAt(circle, h.seconds);
        const double horizontal = FlatDistance(ours.latitude, ours.longitude, h.latitude, h.longitude);
        const double vertical = h.altitude - ours.altitude;
        Closest& e = expected[h.address == 0xAAA001 ? 0 : 1];
        if (std::hypot(horizontal, vertical) < e.separation)
            e = Closest{std::hypot(horizontal, vertical), h.seconds, horizontal, vertical};
    }

    ASSERT_NE(RunTool({"check", "near.log", "--json"}, &out, &err), 65) << err;
    const nlohmann::json traffic = nlohmann::json::parse(out)["traffic"];
    ASSERT_EQ(traffic.size(), 2u) << out;
    // The closest first.
    const int nearer = expected[0].separation < expected[1].separation ? 0 : 1;
    const char* const addresses[2] = {"AAA001", "BBB002"};
    for (int i = 0; i < 2; ++i)
    {
        const int which = i == 0 ? nearer : 1 - nearer;
        const Closest& e = expected[which];
        SCOPED_TRACE(addresses[which]);
        EXPECT_EQ(traffic[i]["address"], addresses[which]);
        EXPECT_NEAR(traffic[i]["time"].get<double>(), circle.bootTime + e.seconds, 1e-3);
        EXPECT_NEAR(traffic[i]["separation_m"].get<double>(), e.separation, 1.0);
        EXPECT_NEAR(traffic[i]["horizontal_m"].get<double>(), e.horizontal, 1.0);
        EXPECT_NEAR(traffic[i]["vertical_m"].get<double>(), e.vertical, 1.0);
    }
    EXPECT_EQ(traffic[nearer == 0 ? 0 : 1]["reports"], std::count_if(heard.begin(), heard.end(), [](const Heard& h) { return h.address == 0xAAA001; }));
    EXPECT_EQ(traffic[nearer == 1 ? 0 : 1]["measured"], 2) << "the report before the flight is not measured";

    ASSERT_NE(RunTool({"check", "near.log"}, &out, &err), 65) << err;
    EXPECT_NE(out.find("traffic: 2 aircraft, the closest approach of each\n  " + std::string(addresses[nearer]) + ": "), std::string::npos) << out;
}
