// The autopilot logs through `track`: logs written by the tests in each format's layout,
// read by content and converted by the one conversion; positions, times and the signs of
// the attitude against the flight the writers recorded.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "log/LogAttitude.h"
#include "geo/Geodesy.h"
#include "track/FlightConversion.h"
#include "track/FlightEvents.h"
#include "track/FlightFormats.h"
#include "track/MavlinkMessages.h"

namespace
{

struct Conversion
{
    bool read = false;
    RecordedFlight flight;
    ConvertedFlight converted;
};

// The bytes as `track` takes them: read by content, converted with the format's settings.
Conversion Convert(const std::string& bytes, double rate = 0.0)
{
    WriteWholeFile("flight.log-in", bytes);
    Conversion result;
    const FlightFormat* format = nullptr;
    std::string message;
    result.read = ReadFlightFile("flight.log-in", &result.flight, &format, &message);
    ConversionSettings settings = format ? format->defaults : ConversionSettings();
    if (rate > 0.0)
        settings.rate = rate;
    if (result.read)
        result.converted = ConvertFlight(result.flight, settings);
    return result;
}

double Metres(const SampleRow& row, const FlightState& state)
{
    const double north = (row.gps_curlat / 60.0 - state.latitude) * WriterMetresPerDegree;
    const double east = (row.gps_curlon / 60.0 - state.longitude) * WriterMetresPerDegree * std::cos(state.latitude * Degree);
    return std::hypot(north, east);
}

double AngleBetween(double a, double b)
{
    return std::fabs(std::remainder(a - b, 2.0 * 3.14159265358979323846));
}

// Every row lies on the circle where the flight was at its time, within a metre, with the
// recorded attitude in the log's convention within half a degree.
void ExpectFollows(const std::vector<SampleRow>& rows, const CircleFlight& flight, const std::string& label)
{
    ASSERT_FALSE(rows.empty()) << label;
    for (const SampleRow& row : rows)
    {
        const FlightState state = StateAt(flight, row.gps_time - flight.bootTime);
        ASSERT_LT(Metres(row, state), 1.0) << label << " sample " << row.samplenumber;
        ASSERT_NEAR(row.gps_curalt, state.altitude, 0.05) << label << " sample " << row.samplenumber;
        ASSERT_LT(AngleBetween(row.gps_curheading, LogHeading(state.yaw)), 0.5 * Degree) << label << " sample " << row.samplenumber;
        ASSERT_LT(AngleBetween(row.pyro_curroll, LogRoll(state.roll)), 0.5 * Degree) << label << " sample " << row.samplenumber;
        ASSERT_LT(AngleBetween(row.pyro_curpitch, LogPitch(state.pitch)), 0.5 * Degree) << label << " sample " << row.samplenumber;
    }
}

const SampleRow* RowAt(const std::vector<SampleRow>& rows, double time)
{
    for (const SampleRow& row : rows)
        if (std::fabs(row.gps_time - time) < 1e-6)
            return &row;
    return nullptr;
}

bool HasColumn(const ConvertedFlight& converted, ColumnKind kind)
{
    return std::any_of(converted.columns.begin(), converted.columns.end(), [kind](const LogColumn& c) { return c.kind == kind; });
}

// A ULog of vehicle_gps_position alone, in the layout of newer firmware.
const char* const GpsFormat = "vehicle_gps_position:uint64_t timestamp;double latitude_deg;double longitude_deg;double altitude_msl_m;float vel_m_s;uint8_t fix_type;uint8_t satellites_used;uint8_t[2] _padding0;";

std::string GpsRecord(double seconds, double latitude, double longitude)
{
    return Packer().U64(static_cast<uint64_t>(std::llround(seconds * 1e6))).F64(latitude).F64(longitude).F64(500.0).F32(20.0f).U8(3).U8(10).bytes;
}

} // namespace

class AutopilotLogTest : public DataToolFixture
{
};

TEST_F(AutopilotLogTest, EachFormatFollowsTheFlightWithItsRecordedAttitude)
{
    for (bool clockwise : {true, false})
    {
        // A lap of 16 s: the quarters fall on rows.
        CircleFlight flight;
        flight.clockwise = clockwise;
        flight.radius = 160.0 / 3.14159265358979323846;
        const double lap = 16.0;
        const std::pair<const char*, std::string> logs[] = {
            {"ULog", CircleULog(flight)}, {"DataFlash", CircleDataFlash(flight)}, {"MAVLink 1", CircleTelemetry(flight, 1)}, {"MAVLink 2", CircleTelemetry(flight, 2)}};
        for (const auto& log : logs)
        {
            const std::string label = std::string(log.first) + (clockwise ? " right turn" : " left turn");
            const Conversion c = Convert(log.second);
            ASSERT_TRUE(c.read) << label;
            const std::vector<SampleRow>& rows = c.converted.rows;
            ASSERT_EQ(rows.size(), 201u) << label << ": 20 s at 10 a second, both ends";
            EXPECT_DOUBLE_EQ(rows.front().gps_time, flight.bootTime) << label << ": seconds on the autopilot's clock";
            EXPECT_EQ(rows.back().samplenumber, 201) << label;
            EXPECT_FALSE(c.converted.motionAttitude) << label;
            ExpectFollows(rows, flight, label);
            // The signs in plain words: a right bank is a negative roll; flying east is
            // heading 0, north pi/2 (counter-clockwise from east).
            EXPECT_LT(clockwise ? rows[100].pyro_curroll : -rows[100].pyro_curroll, -30.0 * Degree) << label;
            const SampleRow* flyingEast = RowAt(rows, flight.bootTime + (clockwise ? 0.0 : 0.5) * lap);
            const SampleRow* flyingNorth = RowAt(rows, flight.bootTime + 0.75 * lap);
            ASSERT_TRUE(flyingEast && flyingNorth) << label;
            EXPECT_NEAR(flyingEast->gps_curheading, 0.0, 0.5 * Degree) << label;
            EXPECT_NEAR(flyingNorth->gps_curheading, 3.14159265358979323846 / 2.0, 0.5 * Degree) << label;
        }
    }
}

TEST_F(AutopilotLogTest, OtherColumnsComeFromTheLogWhereItHasThem)
{
    CircleFlight flight;
    for (const std::string& log : {CircleULog(flight), CircleDataFlash(flight), CircleTelemetry(flight, 2)})
    {
        const Conversion c = Convert(log);
        ASSERT_TRUE(c.read);
        for (ColumnKind kind : {ColumnKind::gps_numsatellites, ColumnKind::gps_fixmode, ColumnKind::voltage1, ColumnKind::current, ColumnKind::mah, ColumnKind::ap_status, ColumnKind::in_ppm_curwidth4, ColumnKind::out_ppm_curwidth3})
            EXPECT_TRUE(HasColumn(c.converted, kind)) << c.flight.format << " " << LogKeywords[static_cast<int>(kind)];
        EXPECT_FALSE(HasColumn(c.converted, ColumnKind::temperature)) << "no log here records one";
        // At 4.9 s the mode of 4 s or 4.5 s still holds (it changes at 5 s); the voltage lies
        // between its records; the pulses were recorded at the row's time.
        const SampleRow* row = RowAt(c.converted.rows, flight.bootTime + 4.9);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->ap_status, FlightModeAt(4.9)) << c.flight.format;
        EXPECT_NEAR(row->voltage1, BatteryVolts(4.9), 0.01) << c.flight.format;
        EXPECT_NEAR(row->in_ppm_curwidth[2], RcPulse(2, 4.9), 0.5) << c.flight.format;
        EXPECT_NEAR(row->out_ppm_curwidth[1], ServoPulse(1, 4.9), 0.5) << c.flight.format;
        EXPECT_NEAR(row->gps_curspeed, flight.speed, 0.01) << c.flight.format;
    }
}

TEST_F(AutopilotLogTest, ULogTakesTheLowestInstanceOfATopic)
{
    // Instance 1 is announced first and lies a kilometre off; instance 0 is the flight.
    ULogWriter log(0);
    log.Flags().Format(GpsFormat).Subscribe(1, 7, "vehicle_gps_position").Subscribe(0, 3, "vehicle_gps_position");
    for (int i = 0; i <= 20; ++i)
    {
        log.Data(7, GpsRecord(10.0 + 0.1 * i, 47.01, 8.0));
        log.Data(3, GpsRecord(10.0 + 0.1 * i, 47.0 + 1e-5 * i, 8.0));
    }
    const Conversion c = Convert(log.bytes);
    ASSERT_TRUE(c.read);
    EXPECT_EQ(c.flight.positionSource, "vehicle_gps_position");
    ASSERT_EQ(c.converted.rows.size(), 21u);
    for (const SampleRow& row : c.converted.rows)
        EXPECT_NEAR(row.gps_curlat, (47.0 + 1e-4 * (row.gps_time - 10.0)) * 60.0, 1e-6) << row.samplenumber;
}

TEST_F(AutopilotLogTest, ULogNestedTypesAndPaddingPlaceTheFields)
{
    // The position's fields follow two nested structs with padding of their own and a padded
    // byte; the trailing padding is not written in the data messages.
    ULogWriter log(0);
    log.Flags();
    log.Format("vehicle_global_position:uint64_t timestamp;reset_t[2] resets;uint8_t counter;uint8_t[7] _padding0;double lat;double lon;float alt;uint8_t[4] _padding1;");
    log.Format("reset_t:uint16_t count;uint8_t kind;uint8_t[5] _padding0;");
    log.Subscribe(0, 0, "vehicle_global_position");
    for (int i = 0; i <= 10; ++i)
    {
        Packer fields;
        fields.U64(2000000 + 100000 * i).U16(0xFFFF).U8(0xEE).Zeros(5).U16(0xDDDD).U8(0xCC).Zeros(5).U8(9).Zeros(7);
        fields.F64(46.5 + 1e-5 * i).F64(7.5 - 1e-5 * i).F32(1234.5f);
        log.Data(0, fields.bytes);
    }
    const Conversion c = Convert(log.bytes);
    ASSERT_TRUE(c.read);
    ASSERT_EQ(c.flight.positions.size(), 11u);
    EXPECT_EQ(c.flight.skippedBytes, 0u);
    EXPECT_DOUBLE_EQ(c.flight.positions[10].latitude, 46.5 + 1e-4);
    EXPECT_DOUBLE_EQ(c.flight.positions[10].longitude, 7.5 - 1e-4);
    EXPECT_DOUBLE_EQ(c.flight.positions[10].altitude, 1234.5);
    EXPECT_DOUBLE_EQ(c.flight.positions[10].time, 3.0);
}

TEST_F(AutopilotLogTest, ULogAppendedDataAfterACutMessageIsPartOfTheLog)
{
    ULogWriter log(0);
    log.Flags(1, 0).Format(GpsFormat).Subscribe(0, 0, "vehicle_gps_position");
    for (int i = 0; i <= 20; ++i)
    {
        if (i == 11)
        {
            // The writer stopped within a message; appended data begins right after it.
            log.bytes += Packer().U16(40).U8('D').U16(0).U64(0).bytes;
            log.SetAppendedOffset(log.bytes.size());
        }
        log.Data(0, GpsRecord(1.0 + 0.1 * i, 47.0 + 1e-5 * i, 8.0));
    }
    const Conversion c = Convert(log.bytes);
    ASSERT_TRUE(c.read);
    EXPECT_EQ(c.flight.positions.size(), 21u) << "eleven before the appended offset, ten after";
    EXPECT_EQ(c.flight.skippedRecords, 1u) << "the cut message";
    ASSERT_EQ(c.converted.rows.size(), 21u);
    EXPECT_NEAR(c.converted.rows.back().gps_curlat, (47.0 + 2e-4) * 60.0, 1e-6);

    // Incompatible flags this reader does not know: refused, not guessed at.
    ULogWriter unknown(0);
    unknown.Flags(0x02).Format(GpsFormat).Subscribe(0, 0, "vehicle_gps_position").Data(0, GpsRecord(1.0, 47.0, 8.0));
    EXPECT_FALSE(Convert(unknown.bytes).read);
}

TEST_F(AutopilotLogTest, CorruptStretchIsSkippedToTheNextMessageAndCounted)
{
    // Noise between two messages: before a sync message near the middle of the ULog and
    // before a format definition at its start, before a message header of the DataFlash log,
    // before a record of the telemetry. (ULog and DataFlash carry no checksums: noise inside
    // a message would pass.)
    CircleFlight flight;
    const std::string noise(37, '\xEE');
    const std::string ulog = CircleULog(flight), dataflash = CircleDataFlash(flight), telemetry = CircleTelemetry(flight, 2);
    size_t record = 0;
    while (record < telemetry.size() / 2)
        record += 8 + 12 + static_cast<unsigned char>(telemetry[record + 9]); // stamp, MAVLink 2 frame
    const std::pair<const std::string&, size_t> cases[] = {
        {ulog, ulog.find(std::string("\x08\x00S\x2F\x73", 5), ulog.size() / 2)},
        {ulog, ulog.find("vehicle_gps_position:") - 3},
        {dataflash, dataflash.find("\xA3\x95\x81", dataflash.size() / 2)},
        {telemetry, record},
    };
    for (const auto& entry : cases)
    {
        ASSERT_LT(entry.second, entry.first.size());
        std::string damaged = entry.first;
        damaged.insert(entry.second, noise);
        const Conversion c = Convert(damaged);
        ASSERT_TRUE(c.read);
        EXPECT_EQ(c.flight.skippedBytes, noise.size()) << c.flight.format << " at " << entry.second;
        EXPECT_EQ(c.flight.skippedRecords, 0u) << c.flight.format;
        ASSERT_EQ(c.converted.rows.size(), 201u) << c.flight.format;
        ExpectFollows(c.converted.rows, flight, c.flight.format);
    }
}

TEST_F(AutopilotLogTest, TelemetryReadsSignedAndTruncatedFramesAndDropsBadChecksums)
{
    TelemetryWriter log;
    FrameOptions v1, v2, signedFrame, broken, otherVehicle;
    v1.version = 1;
    signedFrame.sign = true;
    broken.breakChecksum = true;
    otherVehicle.system = 2;
    const uint64_t wall = 1714557600000000ull;
    log.Record(wall, HeartbeatPayload(0, 6, 8), FrameOptions{2, 255, 190, false, false}); // a ground station first
    log.Record(wall, HeartbeatPayload(5, 1, 3), v1);
    log.Record(wall, HeartbeatPayload(9, 1, 3), otherVehicle);
    for (int i = 0; i <= 10; ++i)
    {
        const uint64_t stamp = wall + 100000ull * i + 40000;
        const uint32_t boot = 50000 + 100 * i;
        // A yaw of 0 at the end of the payload is dropped by MAVLink 2 with the zero rates, and
        // must read 0, not what the frame before left there (VFR_HUD's climb, 1.0, lies there).
        if (i == 4)
            log.Record(stamp, VfrHudPayload(20.0f, 500.0f), v2);
        log.Record(stamp, AttitudePayload(boot, -0.2f, 0.1f, i == 4 ? 0.0f : 3.0f + 0.05f * i), i % 2 ? v1 : v2);
        // Zero velocities and heading: MAVLink 2 drops them from the payload.
        log.Record(stamp, GlobalPositionIntPayload(boot, 470000000 + 1000 * i, 80000000, 500000), i % 2 ? v2 : signedFrame);
        log.Record(stamp, GlobalPositionIntPayload(boot, 100000000, 100000000, 0), otherVehicle);
        if (i == 5)
            log.Record(stamp, GlobalPositionIntPayload(boot + 50, 475000000, 80000000, 500000), broken);
    }
    // The premise: GLOBAL_POSITION_INT (28 bytes) ends in 9 zero bytes, which MAVLink 2 drops.
    TelemetryWriter probe;
    probe.Record(wall, GlobalPositionIntPayload(1, 470000000, 80000000, 500000), v2);
    ASSERT_EQ(probe.bytes[9], 19);
    const Conversion c = Convert(log.bytes);
    ASSERT_TRUE(c.read);
    EXPECT_EQ(c.flight.format, "MAVLink telemetry");
    EXPECT_EQ(c.flight.skippedRecords, 1u) << "the frame with the bad checksum";
    EXPECT_EQ(c.flight.skippedBytes, 0u);
    ASSERT_EQ(c.flight.positions.size(), 11u) << "the first autopilot's, signed or not";
    ASSERT_EQ(c.converted.rows.size(), 11u);
    for (size_t i = 0; i < c.converted.rows.size(); ++i)
    {
        const SampleRow& row = c.converted.rows[i];
        EXPECT_NEAR(row.gps_time, 50.0 + 0.1 * i, 1e-9) << "time_boot_ms / 1000";
        EXPECT_NEAR(row.gps_curlat, (47.0 + 1e-4 * i) * 60.0, 1e-6);
        EXPECT_NEAR(row.gps_curalt, 500.0, 1e-9);
        EXPECT_NEAR(row.pyro_curroll, 0.2, 1e-6) << "a left bank is logged positive";
        EXPECT_NEAR(row.gps_curheading, LogHeading(i == 4 ? 0.0 : 3.0 + 0.05 * i), 1e-5) << i;
    }
    EXPECT_EQ(c.converted.rows.front().ap_status, 5) << "the first autopilot's mode";
}

TEST_F(AutopilotLogTest, CrcExtraFollowsFromTheMessageDefinitions)
{
    const std::pair<uint32_t, int> known[] = {{0, 50}, {1, 124}, {24, 24}, {30, 39}, {33, 104}, {74, 20}, {65, 118}, {36, 222}, {147, 154}};
    for (const auto& entry : known)
    {
        const MavlinkMessage* message = FindMavlinkMessage(entry.first);
        ASSERT_NE(message, nullptr) << entry.first;
        EXPECT_EQ(message->crcExtra, entry.second) << message->name;
    }
    // Extensions follow the sorted base fields in declared order and leave CRC_EXTRA alone.
    const MavlinkMessage* gps = FindMavlinkMessage(24);
    EXPECT_EQ(gps->baseLength, 30u);
    EXPECT_EQ(gps->Field("fix_type")->offset, 28u);
    EXPECT_EQ(gps->Field("alt_ellipsoid")->offset, 30u);
    EXPECT_EQ(gps->Field("yaw")->offset, 50u);
}

TEST_F(AutopilotLogTest, AnglesTakeTheShorterWayRoundAndRowsStopAtGaps)
{
    RecordedFlight flight;
    for (double t : {0.0, 1.0, 2.0, 3.0, 10.0, 11.0})
        flight.positions.push_back({t, 47.0 + 1e-5 * t, 8.0, 500.0});
    flight.attitudes = {{0.0, 179.0 * Degree, 0.0, 179.0 * Degree}, {1.0, -179.0 * Degree, 0.0, -179.0 * Degree}};
    const ConvertedFlight c = ConvertFlight(flight, ConversionSettings{10.0, 2.0});
    ASSERT_FALSE(c.rows.empty());
    EXPECT_LT(AngleBetween(c.rows[5].gps_curheading, LogHeading(180.0 * Degree)), 1e-9) << "through south, not north";
    EXPECT_LT(AngleBetween(c.rows[5].pyro_curroll, LogRoll(180.0 * Degree)), 1e-9);
    // Nothing between 3 s and 10 s; the sample numbers say where the rows were.
    ASSERT_EQ(c.rows.size(), 31u + 11u);
    EXPECT_EQ(c.gapRows, 69u);
    EXPECT_EQ(c.rows[30].samplenumber, 31);
    EXPECT_EQ(c.rows[31].samplenumber, 101);
    EXPECT_DOUBLE_EQ(c.rows[31].gps_time, 10.0);
}

TEST_F(AutopilotLogTest, WithoutAttitudeTheMotionGivesItAndStderrSaysSo)
{
    ULogWriter log(0);
    log.Flags().Format(GpsFormat).Subscribe(0, 0, "vehicle_gps_position");
    for (int i = 0; i <= 50; ++i) // north at 20 m/s
        log.Data(0, GpsRecord(1.0 + 0.1 * i, 47.0 + 2.0 * i / WriterMetresPerDegree, 8.0));
    WriteText("north.ulg", log.bytes);
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "north.ulg"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("records no attitude; heading, pitch and roll are derived from the motion"), std::string::npos) << err;
    const std::vector<std::string> lines = SplitLines(out);
    ASSERT_GT(lines.size(), 20u);
    const std::vector<std::string> fields = SplitFields(lines[20], ',');
    ASSERT_GE(fields.size(), 9u);
    EXPECT_NEAR(std::stod(fields[6]), 3.14159265358979323846 / 2.0, 1e-3) << "north in the log's convention";
    EXPECT_NEAR(std::stod(fields[8]), 0.0, 1e-3) << "wings level";
}

TEST_F(AutopilotLogTest, LogWithoutPositionFailsNamingWhatItHolds)
{
    ULogWriter log(0);
    log.Flags().Format("vehicle_attitude:uint64_t timestamp;float[4] q;").Subscribe(0, 0, "vehicle_attitude");
    for (int i = 0; i < 5; ++i)
        log.Data(0, Packer().U64(1000000 * i).F32(1.0f).F32(0.0f).F32(0.0f).F32(0.0f).bytes);
    WriteText("bench.ulg", log.bytes);
    WriteText("empty.tlog", "");
    for (const char* file : {"bench.ulg", "empty.tlog"})
    {
        std::string out, err;
        EXPECT_EQ(RunTool({"track", file}, &out, &err), ExitBadInput) << file;
        EXPECT_EQ(out, "") << file;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    std::string out, err;
    RunTool({"track", "bench.ulg"}, &out, &err);
    EXPECT_NE(err.find("holds no position: no vehicle_global_position"), std::string::npos) << err;
    EXPECT_NE(err.find("it holds vehicle_attitude (5)"), std::string::npos) << err;
}

TEST_F(AutopilotLogTest, InfoSummarisesOnStderrAndTheLogStillGoesToStdout)
{
    CircleFlight flight;
    WriteText("circle.tlog", CircleTelemetry(flight, 2));
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "circle.tlog", "--info", "--rate", "2"}, &out, &err), 0) << err;
    EXPECT_EQ(SplitLines(out).size(), 1u + 41u) << "20 s at 2 a second";
    for (const char* text : {"MAVLink telemetry", "position from GLOBAL_POSITION_INT: 101 records, 5.0 a second", "attitude from ATTITUDE: 501 records, 25.0 a second",
                             "skipped 0 bytes and 0 records, 21 frames of other systems", "41 rows at 2 a second from 100.000 to 120.000 s"})
        EXPECT_NE(err.find(text), std::string::npos) << text << "\n" << err;
}

TEST_F(AutopilotLogTest, EventsOfEachFormatOnTheConvertedClockWithModesWhereApStatusChanges)
{
    CircleFlight flight;
    flight.events = true;
    struct Case
    {
        const char* label;
        std::string bytes;
        const char* modes[3]; // the names of FlightModeAt's modes 3, 4 and 5
        int secondSeverity;    // the level the second text was logged with
        bool failsafe;
    };
    const Case cases[] = {
        {"ULog", CircleULog(flight), {"AUTO_MISSION", "AUTO_LOITER", "AUTO_RTL"}, 3, true},
        {"DataFlash", CircleDataFlash(flight), {"AUTO", "GUIDED", "LOITER"}, 6, true}, // a copter's, by the banner that follows the first MODE
        {"telemetry", CircleTelemetry(flight, 2), {"TRAINING", "ACRO", "FLY_BY_WIRE_A"}, 3, false}, // a fixed wing's
    };
    size_t c0Events = 0;
    for (const Case& test : cases)
    {
        const Conversion c = Convert(test.bytes);
        ASSERT_TRUE(c.read) << test.label;
        if (&test == &cases[0])
            c0Events = c.converted.events.size();
        const std::vector<SampleRow>& rows = c.converted.rows;
        std::vector<std::string> seen; // "kind@seconds after the start:text"
        size_t modeEvents = 0;
        for (const FlightEvent& event : c.converted.events)
        {
            const double s = event.time - flight.bootTime;
            if (event.kind == FlightEventKind::Mode)
            {
                ++modeEvents;
                EXPECT_EQ(event.text, test.modes[FlightModeAt(s) - 3]) << test.label << " at " << s;
                // The column holds the new mode from this time on, and held another just before.
                const auto after = std::find_if(rows.begin(), rows.end(), [&](const SampleRow& r) { return r.gps_time >= event.time - 1e-6; });
                ASSERT_NE(after, rows.end()) << test.label;
                EXPECT_EQ(after->ap_status, FlightModeAt(s)) << test.label << " at " << s;
                if (after != rows.begin())
                {
                    EXPECT_NE((after - 1)->ap_status, after->ap_status) << test.label << " at " << s;
                }
                continue;
            }
            char line[200];
            snprintf(line, sizeof line, "%s@%.3f/%d:%s", FlightEventKindName(event.kind), s, event.severity, event.text.c_str());
            seen.push_back(line);
        }
        size_t changes = 0;
        for (size_t i = 1; i < rows.size(); ++i)
            changes += rows[i].ap_status != rows[i - 1].ap_status;
        EXPECT_EQ(modeEvents, changes + 1) << test.label << ": the first record's mode, then each change";
        const std::string second = "message@7.000/" + std::to_string(test.secondSeverity) + ":" + SecondText;
        for (const std::string& expected : {std::string("arm@1.000/5:armed"), std::string("disarm@18.000/5:disarmed"), std::string("message@2.000/6:") + FirstText, second})
            EXPECT_NE(std::find(seen.begin(), seen.end(), expected), seen.end()) << test.label << ": no " << expected;
        const bool failsafe = std::any_of(seen.begin(), seen.end(), [](const std::string& e) { return e.rfind("failsafe@12.000/", 0) == 0; });
        EXPECT_EQ(failsafe, test.failsafe) << test.label;
    }

    // `track` writes them where it is told; a flight without events leaves no file there.
    WriteWholeFile("flight.ulg", cases[0].bytes);
    WriteWholeFile("walk.csv", "time,lat,lon,alt\n0,47.0,8.0,500\n1,47.0001,8.0,501\n");
    std::string out, err;
    ASSERT_EQ(RunTool({"track", "flight.ulg", "--events", "f.events.csv", "--info"}, &out, &err), 0) << err;
    EXPECT_NE(err.find("track: " + std::to_string(c0Events) + " events written to f.events.csv"), std::string::npos) << err;
    EXPECT_EQ(ReadText("f.events.csv").rfind("time,kind,severity,text\n100.000,mode,6,AUTO_MISSION\n", 0), 0u);
    ASSERT_EQ(RunTool({"track", "walk.csv", "--events", "f.events.csv"}, &out, &err), 0) << err;
    EXPECT_FALSE(Exists("f.events.csv"));
}
