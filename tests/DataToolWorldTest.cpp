#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DataToolSupport.h"
#include "app/FlightLoading.h"
#include "datatool/WorldCommand.h"
#include "geo/GeoTiles.h"
#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "support/GeoTiffFiles.h"
#include "terrain/RingTiles.h"
#include "viewer/SceneAssembly.h"
#include "world/TilePlan.h"

namespace fs = std::filesystem;

namespace
{

// Every file of the folder with the time it was last written.
std::map<std::string, fs::file_time_type> WriteTimes(const std::string& folder)
{
    std::map<std::string, fs::file_time_type> times;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
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

    ASSERT_TRUE(LoadFlightQuietly("w/flight.log"));
    const std::vector<ElevationTileId> tiles = RingElevationTiles(MapFrame.CI, MapFrame.CJ);
    ASSERT_FALSE(tiles.empty());
    for (const ElevationTileId& tile : tiles)
        EXPECT_TRUE(Exists("w/" + ElevationTileFileName(tile.tileRow, tile.tileColumn))) << tile.tileRow << "," << tile.tileColumn;
    for (const char* asset : {GrassTextureFile, SkyTextureFile, AircraftModelFile, AircraftTextureFile})
        EXPECT_TRUE(Exists(std::string("w/") + asset)) << asset;
    const size_t corridor = CorridorImageryTiles(MapFrame.CI, MapFrame.CJ, TilesUnderLoadedFlight()).size();
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
    after.erase("w/flight.log");
    auto others = before;
    others.erase("w/flight.log");
    EXPECT_EQ(after, others);

    // A keyword log is replayed as it is.
    EXPECT_EQ(RunTool({"world", "w/flight.log", "--out", "w2"}, &out, &err), WorldGivenKeywordLog) << err;
}

TEST_F(WorldCommandTest, DefaultFolderIsUnderTheUsersDataFolder)
{
    WriteText("flight.gpx", CircleGpx(Circle(true, 200.0)));
    const std::string data = fs::absolute("data").string();
    const RunResult result = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", {"world", "flight.gpx", "--offline"}, {"XDG_DATA_HOME=" + data});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(LastLine(result.out), data + "/flightreplay/worlds/flight");
    EXPECT_TRUE(Exists(data + "/flightreplay/worlds/flight/flight.log"));
}
