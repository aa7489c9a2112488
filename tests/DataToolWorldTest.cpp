#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "track/FlightSidecars.h"

#include "support/DataToolSupport.h"
#include "flight/FlightLoading.h"
#include "datatool/DataTool.h"
#include "datatool/WorldCommand.h"
#include "geo/GeoTiles.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "support/GeoTiffFiles.h"
#include "terrain/RingTiles.h"
#include "viewer/SceneAssembly.h"
#include "world/TilePlan.h"

namespace fs = std::filesystem;

namespace
{

// Every file of the folder with the time it was last written, but the stamp each run that
// ends well leaves.
std::map<std::string, fs::file_time_type> WriteTimes(const std::string& folder)
{
    std::map<std::string, fs::file_time_type> times;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != WorldDoneStamp)
            times[entry.path().string()] = entry.last_write_time();
    return times;
}

std::string LastLine(const std::string& out)
{
    const std::vector<std::string> lines = SplitLines(out);
    return lines.empty() ? std::string() : lines.back();
}

} // namespace

class WorldCommandTest : public DataToolFixture
{
};

TEST_F(WorldCommandTest, MakesTheFolderOnceAndReusesIt)
{
    WriteText("flight.gpx", CircleGpx(Circle(true, 200.0)));
    // 100 m to 600 m across half a degree around the flight: every tile the rings read.
    WriteGeoTiff("dem.tif", GeoTiffGrid{7.75, 47.25, 0.01, 50, 50}, GDT_Float32, 1, [](int, int r, int c) { return 100.0 + 5.0 * (r + c); });
    const std::string folder = fs::absolute("w").string();
    std::string out, err;
    ASSERT_EQ(RunTool({"world", "flight.gpx", "--out", "w", "--dem", "dem.tif", "--offline"}, &out, &err), 0) << err;
    EXPECT_EQ(LastLine(out), folder);

    const LoadedFlight flight = LoadLogQuietly("w/flight.log");
    const MapFrameValues frame = flight.Frame();
    const std::vector<ElevationTileId> tiles = RingElevationTiles(frame.CI, frame.CJ);
    ASSERT_FALSE(tiles.empty());
    for (const ElevationTileId& tile : tiles)
        EXPECT_TRUE(Exists("w/" + ElevationTileFileName(tile.tileRow, tile.tileColumn))) << tile.tileRow << "," << tile.tileColumn;
    for (const char* asset : {GrassTextureFile, SkyTextureFile, AircraftModelFile, AircraftTextureFile})
        EXPECT_TRUE(Exists(std::string("w/") + asset)) << asset;
    const size_t corridor = CorridorImageryTiles(frame.CI, frame.CJ, TilesUnderFlights({flight.Rows()})).size();
    EXPECT_GT(corridor, 249u);
    EXPECT_NE(err.find(std::to_string(corridor) + " of " + std::to_string(corridor) + " imagery tiles along the flight missing"), std::string::npos) << err;

    // Again, without rasters: nothing is written anew.
    const auto before = WriteTimes("w");
    ASSERT_EQ(RunTool({"world", "flight.gpx", "--out", "w", "--offline"}, &out, &err), 0) << err;
    EXPECT_EQ(LastLine(out), folder);
    EXPECT_EQ(WriteTimes("w"), before);

    // A flight file changed since is converted again; the rest stays.
    fs::last_write_time("flight.gpx", before.at("w/flight.log") + std::chrono::seconds(5));
    ASSERT_EQ(RunTool({"world", "flight.gpx", "--out", "w", "--offline"}, &out, &err), 0) << err;
    auto after = WriteTimes("w");
    EXPECT_NE(after.at("w/flight.log"), before.at("w/flight.log"));
    // The files beside the log are the conversion's too: the circling flight's wind among them.
    EXPECT_EQ(after.count("w/flight.wind.csv"), 1u);
    auto others = before;
    for (const std::string& own : SidecarPathsFor("w/flight.log"))
        others.erase(own), after.erase(own);
    after.erase("w/flight.log");
    others.erase("w/flight.log");
    EXPECT_EQ(after, others);

    // A keyword log is replayed as it is.
    EXPECT_EQ(RunTool({"world", "w/flight.log", "--out", "w2"}, &out, &err), WorldGivenKeywordLog) << err;
}

// A flight that gives no world, one over the pole or one without positions, leaves no folder
// made for it behind, and a folder that was there stays.
TEST_F(WorldCommandTest, BadFlightsLeaveNoFolderBehind)
{
    std::vector<TimedPosition> pole = Circle(true, 200.0);
    for (TimedPosition& point : pole)
        point.latitude += 42.9;
    WriteText("pole.gpx", CircleGpx(pole));
    WriteText("empty.gpx", "<?xml version=\"1.0\"?>\n<gpx><trk><trkseg></trkseg></trk></gpx>\n");
    fs::create_directories("there");
    for (const char* flight : {"pole.gpx", "empty.gpx"})
    {
        std::string out, err;
        EXPECT_EQ(RunTool({"world", flight, "--out", "new", "--offline"}, &out, &err), ExitBadInput) << err;
        EXPECT_FALSE(Exists("new")) << flight;
        EXPECT_EQ(RunTool({"world", flight, "--out", "there", "--offline"}, &out, &err), ExitBadInput) << err;
        EXPECT_TRUE(Exists("there")) << flight;
    }
}

// A batch runs the command in its own process: a world made, or given up, leaves the working
// directory where it was.
TEST_F(WorldCommandTest, KeepsTheWorkingDirectory)
{
    WriteText("flight.gpx", CircleGpx(Circle(true, 200.0)));
    WriteText("empty.gpx", "<?xml version=\"1.0\"?>\n<gpx><trk><trkseg></trkseg></trk></gpx>\n");
    const fs::path here = fs::current_path();
    const std::vector<std::pair<std::string, int>> runs = {{"flight.gpx", 0}, {"empty.gpx", ExitBadInput}};
    for (const auto& [flight, status] : runs)
    {
        std::vector<std::string> arguments = {"flightreplay-data", "world", flight, "--out", "w-" + flight, "--offline"};
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        OutputCapture capture(true);
        const int result = RunWorldCommand(static_cast<int>(arguments.size()), argv.data());
        capture.Finish();
        std::error_code gone; // a folder given up may be where the process was left
        EXPECT_EQ(fs::current_path(gone), here) << flight;
        EXPECT_EQ(result, status) << flight << ": " << capture.Errors();
        fs::current_path(here);
    }
    EXPECT_TRUE(Exists("w-flight.gpx/flight.log"));
    EXPECT_FALSE(Exists("w-empty.gpx"));
}

// Two flights of the same name 0.6 degrees apart, on either side of an elevation tile's edge
// (8.4375 E), made into one world: each has its own log, and the raster reaches the tiles
// under both.
TEST_F(WorldCommandTest, SeveralFlightsShareOneFolder)
{
    std::vector<TimedPosition> east = Circle(true, 200.0);
    for (TimedPosition& point : east)
        point.longitude += 0.6;
    fs::create_directories("a");
    fs::create_directories("b");
    WriteText("a/f.gpx", CircleGpx(Circle(true, 200.0)));
    WriteText("b/f.gpx", CircleGpx(east));
    WriteGeoTiff("dem.tif", GeoTiffGrid{7.75, 47.25, 0.01, 120, 50}, GDT_Float32, 1, [](int, int r, int c) { return 100.0 + 5.0 * (r + c); });
    const std::string folder = fs::absolute("w").string();
    std::string out, err;
    ASSERT_EQ(RunTool({"world", "a/f.gpx", "b/f.gpx", "--out", "w", "--dem", "dem.tif", "--offline"}, &out, &err), 0) << err;
    EXPECT_EQ(SplitLines(out).front(), "log: f.log") << out;
    EXPECT_NE(out.find("\nlog: f-2.log\n"), std::string::npos) << out;
    EXPECT_EQ(LastLine(out), folder);

    std::vector<std::string> tiles[2];
    int32_t columns[2] = {};
    for (int flight = 0; flight < 2; ++flight)
    {
        const MapFrameValues frame = LoadLogQuietly(flight == 0 ? "w/f.log" : "w/f-2.log").Frame();
        columns[flight] = frame.CJ;
        for (const ElevationTileId& tile : RingElevationTiles(frame.CI, frame.CJ))
            tiles[flight].push_back(ElevationTileFileName(tile.tileRow, tile.tileColumn));
    }
    // Each log holds its own flight: the second lies east of the first.
    EXPECT_NEAR(columns[1] - columns[0], 437, 1); // 0.6 degrees of 2^18 columns
    size_t eastOnly = 0;
    for (const std::string& tile : tiles[1])
        eastOnly += std::find(tiles[0].begin(), tiles[0].end(), tile) == tiles[0].end() ? 1 : 0;
    ASSERT_GT(eastOnly, 0u);
    for (const std::vector<std::string>& flightTiles : tiles)
        for (const std::string& tile : flightTiles)
            EXPECT_TRUE(Exists("w/" + tile)) << tile;
}

// The fetch's order across flights: the rings of all of them before any corridor, each tile
// once, judged by the plan it is first taken from.
TEST(MergeCorridorPlansTest, RingsOfEveryFlightFirstEachTileOnce)
{
    // The first tile of each list is the rings'.
    auto plan = [](std::vector<ElevationTileId> elevation, std::vector<bool> elevationPresent, std::vector<ImageryTileId> imagery, std::vector<bool> imageryPresent) {
        CorridorPlan made;
        made.elevation = std::move(elevation);
        made.elevationPresent = std::move(elevationPresent);
        made.imagery = std::move(imagery);
        made.imageryPresent = std::move(imageryPresent);
        made.ringElevation = made.ringImagery = 1;
        return made;
    };
    const CorridorPlan first = plan({{1, 1}, {1, 2}}, {true, false}, {{18, 10, 10}, {17, 5, 5}, {13, 0, 0}}, {false, false, true});
    const CorridorPlan second = plan({{1, 2}, {1, 3}}, {true, true}, {{17, 5, 5}, {18, 11, 11}, {13, 0, 0}}, {true, false, false});

    const CorridorPlan merged = MergeCorridorPlans({first, second});
    std::vector<std::string> elevation, imagery;
    for (const ElevationTileId& tile : merged.elevation)
        elevation.push_back(ElevationTileFileName(tile.tileRow, tile.tileColumn));
    for (const ImageryTileId& tile : merged.imagery)
        imagery.push_back(ImageryFileName(tile));
    EXPECT_EQ(elevation, (std::vector<std::string>{"zsi-1-1.egm", "zsi-1-2.egm", "zsi-1-3.egm"}));
    EXPECT_EQ(merged.elevationPresent, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(merged.ringElevation, 2u);
    EXPECT_EQ(imagery, (std::vector<std::string>{"./img/s-10-10.jpg", "./img/r-5-5.jpg", "./img/n-0-0.jpg", "./img/s-11-11.jpg"}));
    EXPECT_EQ(merged.imageryPresent, (std::vector<bool>{false, true, true, false}));
    EXPECT_EQ(merged.ringImagery, 2u);
}

TEST_F(WorldCommandTest, DefaultFolderIsUnderTheUsersDataFolder)
{
    WriteText("flight.gpx", CircleGpx(Circle(true, 200.0)));
    const std::string data = fs::absolute("data").string();
    const RunResult result = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", {"world", "flight.gpx", "--offline"}, {"XDG_DATA_HOME=" + data});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(LastLine(result.out), data + "/flightreplay/worlds/flight");
    EXPECT_TRUE(Exists(data + "/flightreplay/worlds/flight/flight.log"));

    // Several: named after the first, with the count of the others.
    WriteText("other.gpx", CircleGpx(Circle(false, 300.0)));
    const RunResult several = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", {"world", "flight.gpx", "other.gpx", "--offline"}, {"XDG_DATA_HOME=" + data});
    ASSERT_EQ(several.status, 0) << several.err;
    EXPECT_EQ(LastLine(several.out), data + "/flightreplay/worlds/flight+1");
    EXPECT_TRUE(Exists(data + "/flightreplay/worlds/flight+1/other.log"));

    // More flights than a world holds: the limit is named.
    std::vector<std::string> seventeen(18, "flight.gpx");
    seventeen.front() = "world";
    const RunResult many = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", seventeen, {"XDG_DATA_HOME=" + data});
    EXPECT_EQ(many.status, DataToolUsage);
    EXPECT_NE(many.err.find("at most 16"), std::string::npos) << many.err;
    // The fetch's limit is the world's to give.
    const RunResult limit = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", {"world", "flight.gpx", "--max-tiles", "lots"}, {"XDG_DATA_HOME=" + data});
    EXPECT_EQ(limit.status, DataToolUsage);
    EXPECT_NE(limit.err.find("world: --max-tiles wants a whole number from 0 to 1000000, not 'lots'"), std::string::npos) << limit.err;
}
