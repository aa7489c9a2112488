#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "flight/LoadedFlight.h"
#include "support/AutopilotLogWriters.h"
#include "support/DataToolSupport.h"
#include "track/VehicleKind.h"

namespace
{
// An IGC file of 120 fixes a second apart heading north at about 30 m/s (16 thousandths of
// a minute of latitude each), after the headers given.
std::string IgcFlight(const std::string& headers)
{
    std::string text = "AXXX001\nHFDTE150510\n" + headers;
    for (int i = 0; i < 120; ++i)
    {
        char line[64];
        const int thousandths = 12000 + 16 * i;
        snprintf(line, sizeof line, "B1200%02d47%05dN00800000EA0100001000\n", i % 60, thousandths);
        line[4] = static_cast<char>('0' + i / 60);
        text += line;
    }
    return text;
}

} // namespace

class VehicleKindFiles : public DataToolFixture
{
protected:
    // The kind `track --json` names for the file, and the kind loading its log reads back.
    static std::string TrackedKind(const std::string& input, const std::vector<std::string>& options = {})
    {
        std::vector<std::string> arguments = {"track", input, "--out", "kind.log", "--json"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::string out, err;
        EXPECT_EQ(RunTool(arguments, &out, &err), 0) << err;
        const LoadedFlight loaded = LoadLogQuietly("kind.log");
        EXPECT_NE(out.find(std::string("\"kind\":\"") + VehicleKindWord(loaded.vehicle.kind) + "\""), std::string::npos) << out;
        return VehicleKindWord(loaded.vehicle.kind) + std::string(" (") + loaded.vehicle.source + ")";
    }
};

TEST_F(VehicleKindFiles, EachFormatSaysItsKindAndTheSidecarCarriesIt)
{
    CircleFlight flight;
    flight.events = true;
    TelemetryWriter telemetry;
    telemetry.bytes = CircleTelemetry(flight, 2);
    WriteText("plane.tlog", telemetry.bytes);
    EXPECT_EQ(TrackedKind("plane.tlog"), "plane (HEARTBEAT type 1)");
    telemetry.Record(flight.wallStart * 1000000ull + 500000, ParamValuePayload("Q_ENABLE", 1.0f));
    WriteText("vtol.tlog", telemetry.bytes);
    EXPECT_EQ(TrackedKind("vtol.tlog"), "vtol (HEARTBEAT type 1 with Q_ENABLE 1)");
    // The pilot knows better; and a file that says nothing leaves no stale kind behind.
    EXPECT_EQ(TrackedKind("vtol.tlog", {"--vehicle", "tailsitter"}), "tailsitter (--vehicle tailsitter)");

    DataFlashWriter dataflash;
    dataflash.bytes = CircleDataFlash(flight);
    dataflash.Parameter(1.0, "FRAME_CLASS", 2.0f);
    WriteText("hexa.bin", dataflash.bytes);
    EXPECT_EQ(TrackedKind("hexa.bin"), "hexarotor (firmware banner 'Copter V4.5.1', FRAME_CLASS 2)");

    // A ULog's vehicle_status: a VTOL's flag over the type it reports in each phase.
    ULogWriter vtol(100000000);
    vtol.Format("vehicle_global_position:uint64_t timestamp;double lat;double lon;float alt;uint8_t[4] _padding0;");
    vtol.Format("vehicle_status:uint64_t timestamp;uint8_t vehicle_type;uint8_t is_vtol;uint8_t is_vtol_tailsitter;uint8_t system_type;");
    vtol.Subscribe(0, 0, "vehicle_global_position").Subscribe(0, 1, "vehicle_status");
    vtol.Data(1, Packer().U64(100000000).U8(1).U8(1).U8(0).U8(22).bytes);
    for (int i = 0; i < 20; ++i)
        vtol.Data(0, Packer().U64(100000000 + 100000 * i).F64(47.0 + i * 1e-5).F64(8.0).F32(500.0f).bytes);
    WriteText("vtol.ulg", vtol.bytes);
    EXPECT_EQ(TrackedKind("vtol.ulg"), "vtol (vehicle_status is_vtol)");

    WriteText("wing.igc", IgcFlight("HFGTYGLIDERTYPE:PARAPENTE Alpina\n"));
    EXPECT_EQ(TrackedKind("wing.igc"), "paraglider (IGC glider type 'PARAPENTE Alpina')");
    WriteText("fast.igc", IgcFlight("HFGTYGLIDERTYPE:Zeno\n"));
    EXPECT_EQ(TrackedKind("fast.igc"), "sailplane (cruise speed 30 m/s)");
    WriteText("short.igc", IgcFlight("").substr(0, 400));
    EXPECT_EQ(TrackedKind("short.igc"), "unknown ()");
    EXPECT_FALSE(Exists("kind.vehicle"));

    std::string out, err;
    EXPECT_NE(RunTool({"track", "fast.igc", "--out", "kind.log", "--vehicle", "zeppelin"}, &out, &err), 0);
    EXPECT_NE(err.find("hang-glider"), std::string::npos) << err;
}

TEST(VehicleKindTest, WordsNameEachKindOnceAndRejectOthers)
{
    VehicleKind kind = VehicleKind::Unknown;
    ASSERT_TRUE(VehicleKindOfWord("hang-glider", &kind));
    EXPECT_EQ(kind, VehicleKind::HangGlider);
    ASSERT_TRUE(VehicleKindOfWord(VehicleKindWord(VehicleKind::VtolQuadplane), &kind));
    EXPECT_EQ(kind, VehicleKind::VtolQuadplane);
    EXPECT_FALSE(VehicleKindOfWord("unknown", &kind));
    EXPECT_FALSE(VehicleKindOfWord("Quadrotor", &kind));
    EXPECT_NE(VehicleKindWords().find("tailsitter"), std::string::npos);
}

TEST(VehicleKindTest, HeartbeatTypesAndGliderSpeeds)
{
    EXPECT_EQ(VehicleKindOfMavType(1), VehicleKind::Plane);
    EXPECT_EQ(VehicleKindOfMavType(13), VehicleKind::Hexarotor);
    EXPECT_EQ(VehicleKindOfMavType(20), VehicleKind::Tailsitter);
    EXPECT_EQ(VehicleKindOfMavType(22), VehicleKind::VtolQuadplane);
    EXPECT_EQ(VehicleKindOfMavType(6), VehicleKind::Unknown); // a ground station
    EXPECT_EQ(VehicleKindOfMavType(250), VehicleKind::Unknown);
    EXPECT_EQ(GliderKindOfSpeed(11.0), VehicleKind::Paraglider);
    EXPECT_EQ(GliderKindOfSpeed(19.0), VehicleKind::HangGlider);
    EXPECT_EQ(GliderKindOfSpeed(30.0), VehicleKind::Sailplane);
    EXPECT_EQ(GliderKindOfSpeed(0.5), VehicleKind::Unknown);
}

TEST(VehicleKindTest, SidecarRoundTripsAndRefusesAnotherFile)
{
    const std::string log = ::testing::TempDir() + "vehicle_kind_test.log";
    const std::string path = VehiclePathFor(log);
    EXPECT_EQ(path, ::testing::TempDir() + "vehicle_kind_test.vehicle");
    std::string error;
    ASSERT_TRUE(WriteVehicleIdentity(path, {VehicleKind::VtolQuadplane, "HEARTBEAT type 1 with\nQ_ENABLE 1"}, &error)) << error;
    VehicleIdentity read;
    ASSERT_TRUE(ReadVehicleIdentity(path, &read, &error)) << error;
    EXPECT_EQ(read.kind, VehicleKind::VtolQuadplane);
    EXPECT_EQ(read.source, "HEARTBEAT type 1 with Q_ENABLE 1");

    std::ofstream(path, std::ios::binary) << "zeppelin\r\nsomewhere\r\n";
    EXPECT_FALSE(ReadVehicleIdentity(path, &read, &error));
    EXPECT_NE(error.find("no vehicle kind"), std::string::npos);
    std::remove(path.c_str());
}
