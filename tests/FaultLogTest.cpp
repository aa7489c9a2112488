// The demo world's fault log end to end: flightreplay-data check finds every planted fault at
// its samples and nothing else, the demo flight itself comes out clean but for its take-off
// and landing, and adding the fault log to a complete world changes none of its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "flight/LoadedFlight.h"
#include "geo/MapProjection.h"
#include "support/TestSupport.h"
#include "terrain/RingTiles.h"
#include "worldgen/ElevationTiles.h"
#include "worldgen/FaultLog.h"
#include "worldgen/FlightLog.h"
#include "worldgen/FlightPlan.h"
#include "worldgen/Landscape.h"
#include "worldgen/WorldGenerator.h"

namespace
{

// The two logs and the elevation tiles under them, made once.
const ScratchDirectory& FaultWorld()
{
    static ScratchDirectory world;
    static bool made = false;
    if (made)
        return world;
    made = true;
    const Landscape landscape(DefaultWorldSeed);
    EXPECT_TRUE(WriteFlightLog(world.PathOf(SampleLogName), FlightLogRows(FlyDemoFlight(landscape, DefaultWorldSeed, DemoSampleRate), DemoSampleRate)));
    PlantedFaults planted;
    OutputCapture quiet;
    EXPECT_TRUE(WriteFaultLog(world.Path(), DefaultWorldSeed, &planted));
    quiet.Finish();
    LoadedFlight flight;
    EXPECT_EQ(LoadFlight(world.PathOf(SampleLogName).c_str(), nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight), 0);
    const MapFrameValues frame = flight.Frame();
    for (const ElevationTileId& tile : RingElevationTiles(frame.CI, frame.CJ))
        EXPECT_TRUE(WriteElevationFile(landscape, tile, world.Path()));
    return world;
}

// The report from its first kind to the verdict, each stretch cut before its duration:
// "  samples 1000 to 1051".
std::vector<std::string> Findings(const std::string& out)
{
    std::vector<std::string> findings;
    bool inKinds = false;
    for (const std::string& line : SplitLines(out))
    {
        inKinds = inKinds || line.compare(0, 17, "below the ground:") == 0;
        if (inKinds && !line.empty())
            findings.push_back(line.compare(0, 2, "  ") == 0 ? line.substr(0, line.find(" (")) : line);
    }
    return findings;
}

std::string Samples(int32_t first, int32_t last)
{
    return "  samples " + std::to_string(first) + " to " + std::to_string(last);
}

} // namespace

TEST(FaultLogTest, CheckFindsEveryPlantedFaultAtItsSamplesAndNothingElse)
{
    const ScratchDirectory& world = FaultWorld();
    PlantedFaults planted;
    std::vector<SampleRow> rows = FlightLogRows(FlyDemoFlight(Landscape(DefaultWorldSeed), DefaultWorldSeed, DemoSampleRate), DemoSampleRate);
    planted = PlantFaults(&rows, Landscape(DefaultWorldSeed), DemoSampleRate);
    ASSERT_GT(planted.frozenLast, planted.frozenFirst);

    const RunResult run = RunProgram(FLIGHTREPLAY_DATA_BINARY, world.Path(), {"check", FaultLogName});
    EXPECT_EQ(run.status, 1) << run.out;
    // The dropout's rows are dropped by the reader: a gap in samples and in time around them.
    const std::vector<std::string> expected = {
        "below the ground: 1 stretch",
        Samples(planted.hillFirst, planted.hillLast),
        "under 5 m above the ground, not the take-off or the landing: none",
        "time going backwards or standing still: none",
        "gaps in time over 3 median steps (0.600 s): 2 stretches",
        Samples(planted.dropoutFirst - 1, planted.dropoutLast + 1),
        Samples(planted.timeJump - 1, planted.timeJump),
        "gaps in sample numbers: 1 stretch",
        Samples(planted.dropoutFirst - 1, planted.dropoutLast + 1),
        "position jumps over 100 m/s: none",
        "climbs or descents over 30 m/s: none",
        "positions at 0 or out of range: none",
        "attitude angles not finite or beyond 2 pi: none",
        "frozen GPS, the same position for over 2 s: 1 stretch",
        Samples(planted.frozenFirst, planted.frozenLast),
        "verdict: 5 warnings in 4 kinds",
    };
    EXPECT_EQ(DescribeLineDifference(Findings(run.out), expected), "") << run.out;
    EXPECT_NE(run.out.find("  samples " + std::to_string(planted.dropoutFirst - 1) + " to " + std::to_string(planted.dropoutLast + 1) + " (10.20 s), 50 missing\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("(30.20 s), longest step 30.20 s at sample " + std::to_string(planted.timeJump) + "\n"), std::string::npos) << run.out;
}

TEST(FaultLogTest, DemoFlightIsCleanButForItsTakeOffAndLanding)
{
    const ScratchDirectory& world = FaultWorld();
    const RunResult run = RunProgram(FLIGHTREPLAY_DATA_BINARY, world.Path(), {"check", SampleLogName});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("\ntake-off: samples 1 to "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nlanding: samples "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nover missing tiles or beyond the drawn terrain: 0 of "), std::string::npos) << run.out;
    const std::vector<std::string> findings = Findings(run.out);
    ASSERT_EQ(findings.size(), 11u) << run.out;
    for (size_t i = 0; i + 1 < findings.size(); ++i)
        EXPECT_EQ(findings[i].substr(findings[i].size() - 6), ": none") << findings[i];
    EXPECT_EQ(findings.back(), "verdict: clean");
}

TEST(FaultLogTest, AddingTheFaultLogToACompleteWorldChangesNoneOfItsFiles)
{
    ScratchDirectory folder;
    WorldOptions options;
    options.folder = folder.Path();
    folder.WriteFile(StampName, std::string(WorldGeneratorVersion) + " seed " + std::to_string(options.seed) + "\n");
    folder.WriteFile(SampleLogName, "the world's own log\n");
    folder.WriteFile("img/s-1-2.jpg", "imagery");
    ASSERT_TRUE(WorldIsComplete(options));
    const std::vector<TreeEntry> before = SnapshotTree(folder.Path());
    PlantedFaults planted;
    OutputCapture quiet;
    ASSERT_TRUE(GenerateFaultLog(options, &planted));
    const std::string said = quiet.Finish();
    EXPECT_NE(said.find("only the fault log is written"), std::string::npos) << said;
    std::vector<TreeEntry> after = SnapshotTree(folder.Path());
    ASSERT_EQ(after.size(), before.size() + 1);
    after.erase(std::remove_if(after.begin(), after.end(), [](const TreeEntry& entry) { return entry.name == FaultLogName; }), after.end());
    EXPECT_EQ(DescribeTreeChange(before, after), "");
}
