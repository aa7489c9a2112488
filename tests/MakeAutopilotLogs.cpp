// Writes autopilot logs with the test writers, for the programs around the tests:
//
//   autopilot_test_logs bench DIR         about 4 MB of each format for ./bench:
//                                         bench.ulg, bench.bin, bench.tlog
//   autopilot_test_logs seeds DIR         the fuzz seeds of the autopilot readers, each led by
//                                         the byte that picks its reader (0 ULog, 1 DataFlash,
//                                         2 telemetry)
//   autopilot_test_logs tlog FILE LAT LON a telemetry log of two minutes circling 400 m
//                                         around LAT, LON (degrees) at 550 m
//   autopilot_test_logs ulog FILE LAT LON a ULog of a minute circling 400 m around LAT, LON
//                                         at 1500 m, above any ground the tests serve
//   autopilot_test_logs survey FILE LAT LON ALT  a DataFlash survey (SurveyFlight) around
//                                         LAT, LON at ALT metres, a photo every 30 m
//
// The output is the same on every run.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/AutopilotLogWriters.h"

namespace
{

bool Write(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    if (file.good())
        return true;
    fprintf(stderr, "autopilot_test_logs: cannot write '%s'\n", path.c_str());
    return false;
}

// A flight with the rates of a real log: most of its bytes are topics the replay skips.
CircleFlight BenchFlight(double duration, double otherRate)
{
    CircleFlight flight;
    flight.duration = duration;
    flight.positionRate = 10.0;
    flight.attitudeRate = 50.0;
    flight.otherRate = otherRate;
    return flight;
}

bool WriteBench(const std::string& dir)
{
    return Write(dir + "/bench.ulg", CircleULog(BenchFlight(260.0, 250.0))) && Write(dir + "/bench.bin", CircleDataFlash(BenchFlight(265.0, 330.0))) &&
           Write(dir + "/bench.tlog", CircleTelemetry(BenchFlight(300.0, 290.0), 2));
}

bool WriteSeeds(const std::string& dir)
{
    CircleFlight flight;
    flight.duration = 3.0;
    flight.otherRate = 5.0;
    flight.gimbal = true;
    const std::string ulog = CircleULog(flight), dataflash = CircleDataFlash(flight);
    const std::string v1 = CircleTelemetry(flight, 1), v2 = CircleTelemetry(flight, 2);

    // Appended data: the first half, a message cut in two, then the rest as appended data.
    ULogWriter appended(100000000);
    appended.Flags(1, 0);
    appended.Format("vehicle_global_position:uint64_t timestamp;double lat;double lon;float alt;uint8_t[4] _padding0;");
    appended.Subscribe(0, 0, "vehicle_global_position");
    for (int i = 0; i < 20; ++i)
    {
        if (i == 10)
        {
            appended.bytes += Packer().U16(30).U8('D').U16(0).U64(0).bytes; // cut off
            appended.SetAppendedOffset(appended.bytes.size());
        }
        appended.Data(0, Packer().U64(100000000 + 100000 * i).F64(47.0 + i * 1e-5).F64(8.0).F32(500.0f).bytes);
    }

    // FMTU and MULT: POS altitude in centimetres with multiplier 0.01.
    DataFlashWriter units;
    units.Format(130, "POS", "QLLi", "TimeUS,Lat,Lng,Alt").Format(140, "FMTU", "QBNN", "TimeUS,FmtType,UnitIds,MultIds").Format(141, "MULT", "Qbd", "TimeUS,Id,Mult");
    units.Message(141, Packer().U64(0).I8('B').F64(0.01).bytes).Message(140, Packer().U64(0).U8(130).Text("sDUm", 16).Text("FGGB", 16).bytes);
    for (int i = 0; i < 20; ++i)
        units.Message(130, Packer().U64(100000000 + 100000 * i).I32(470000000 + i * 100).I32(80000000).I32(50000 + i).bytes);

    // Signed frames, a bad checksum and a stretch of noise.
    TelemetryWriter mixed;
    FrameOptions signedFrame;
    signedFrame.sign = true;
    FrameOptions broken;
    broken.breakChecksum = true;
    for (int i = 0; i < 10; ++i)
    {
        const uint64_t stamp = 1714557600000000ull + 200000ull * i;
        mixed.Record(stamp, GlobalPositionIntPayload(100000 + 200 * i, 470000000 + 100 * i, 80000000, 500000), i % 2 ? signedFrame : FrameOptions());
        mixed.Record(stamp, AttitudePayload(100000 + 200 * i, 0.1f, 0.05f, -3.1f + 0.7f * i), i == 5 ? broken : FrameOptions());
        if (i == 7)
            mixed.bytes += std::string(23, '\xFD');
    }

    // Other aircraft: DataFlash's ADSB without units, telemetry's ADSB_VEHICLE from a
    // receiver of its own, one at an impossible place.
    DataFlashWriter adsb;
    adsb.Format(201, "ADSB", "QILLiHHhH", "TimeUS,ICAO_address,Lat,Lng,Alt,Heading,Hor_vel,Ver_vel,Squawk");
    TelemetryWriter heard;
    FrameOptions receiver;
    receiver.system = 7;
    for (int i = 0; i < 6; ++i)
    {
        const int32_t latitude = i == 3 ? 950000000 : 470010000 + 500 * i;
        adsb.Message(201, Packer().U64(100000000 + 500000 * i).U32(0x3C6444).I32(latitude).I32(80010000).I32(61000).U16(9000).U16(5000).I16(0).U16(7000).bytes);
        heard.Record(1714557600000000ull + 500000ull * i, AdsbVehiclePayload(0x4CA123, latitude, 80020000, 650000, 18000, 3000, i % 2 ? 3 : 31, "N123AB"), receiver);
    }

    // What flew and the wind: a quadplane's parameter, the telemetry's WIND (one absurd) and
    // the EKF's, both cores.
    TelemetryWriter aloft;
    aloft.Record(1714557600500000ull, ParamValuePayload("Q_ENABLE", 1.0f)).Record(1714557601000000ull, WindPayload(270.0f, 5.0f));
    aloft.Record(1714557601500000ull, WindPayload(90.0f, 500.0f));
    DataFlashWriter ekf;
    ekf.Format(202, "XKF2", "QBff", "TimeUS,C,VWN,VWE");
    for (int i = 0; i < 4; ++i)
        ekf.Message(202, Packer().U64(100000000 + 500000 * i).U8(static_cast<uint8_t>(i % 2)).F32(3.0f).F32(-4.0f).bytes);
    ekf.Parameter(1.0, "FRAME_CLASS", 2.0f);

    // The camera's messages, in seeds of their own.
    CircleFlight photographed;
    photographed.duration = 3.0;
    photographed.photos = true;
    const std::pair<const char*, std::string> seeds[] = {
        {"circle.ulg", std::string(1, '\0') + ulog},
        {"appended.ulg", std::string(1, '\0') + appended.bytes},
        {"circle.bin", std::string(1, '\1') + dataflash},
        {"units.bin", std::string(1, '\1') + units.bytes},
        {"circle-v1.tlog", std::string(1, '\2') + v1},
        {"circle-v2.tlog", std::string(1, '\2') + v2},
        {"mixed.tlog", std::string(1, '\2') + mixed.bytes},
        {"vtol-wind.tlog", std::string(1, '\2') + v2 + aloft.bytes},
        {"wind.bin", std::string(1, '\1') + dataflash + ekf.bytes},
        {"traffic.bin", std::string(1, '\1') + dataflash + adsb.bytes},
        {"traffic.tlog", std::string(1, '\2') + v2 + heard.bytes},
        {"photos.ulg", std::string(1, '\0') + CircleULog(photographed)},
        {"photos.bin", std::string(1, '\1') + CircleDataFlash(photographed)},
        {"photos-v1.tlog", std::string(1, '\2') + CircleTelemetry(photographed, 1)},
        {"photos-v2.tlog", std::string(1, '\2') + CircleTelemetry(photographed, 2)},
    };
    for (const auto& seed : seeds)
        if (!Write(dir + "/" + seed.first, seed.second))
            return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && (strcmp(argv[1], "bench") == 0 || strcmp(argv[1], "seeds") == 0))
    {
        std::filesystem::create_directories(argv[2]);
        return (strcmp(argv[1], "bench") == 0 ? WriteBench(argv[2]) : WriteSeeds(argv[2])) ? 0 : 1;
    }
    const bool tlog = argc == 5 && strcmp(argv[1], "tlog") == 0;
    if (tlog || (argc == 5 && strcmp(argv[1], "ulog") == 0))
    {
        // The telemetry log circles low for two minutes over the test world; the ULog circles
        // for one minute well above any ground the tests serve.
        CircleFlight flight;
        flight.latitude = atof(argv[3]);
        flight.longitude = atof(argv[4]);
        flight.radius = 400.0;
        flight.altitude = tlog ? 550.0 : 1500.0;
        flight.climb = 0.0;
        flight.duration = tlog ? 120.0 : 60.0;
        return Write(argv[2], tlog ? CircleTelemetry(flight, 2) : CircleULog(flight)) ? 0 : 1;
    }
    if (argc == 6 && strcmp(argv[1], "survey") == 0)
    {
        SurveyFlight survey;
        survey.latitude = atof(argv[3]);
        survey.longitude = atof(argv[4]);
        survey.altitude = atof(argv[5]);
        return Write(argv[2], SurveyDataFlash(survey)) ? 0 : 1;
    }
    fprintf(stderr, "usage: %s bench DIR | seeds DIR | tlog FILE LAT LON | ulog FILE LAT LON | survey FILE LAT LON ALT\n", argv[0]);
    return 2;
}
