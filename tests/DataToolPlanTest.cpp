#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/DataToolSupport.h"
#include "flight/FlightLoading.h"
#include "geo/GeoTiles.h"
#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "support/SceneFiles.h"
#include "terrain/ElevationTileStore.h"
#include "terrain/RingTiles.h"
#include "terrain/TerrainRings.h"
#include "terrain/FlightCorridor.h"
#include "world/TilePlan.h"

namespace
{

// A flight a few tiles from the corner where four elevation tiles meet (grid row 92 * 1024,
// column 134 * 1024), so the rings need all four of them.
const double CentreRow = 92 * 1024 + 5.5, CentreColumn = 134 * 1024 - 6.5;

std::string FlightLog()
{
    const double latitude = GridRowLatitude(CentreRow), longitude = GridColumnLongitude(CentreColumn);
    std::vector<TimedPosition> points;
    for (int t = 0; t <= 60; ++t)
    {
        const double angle = 2.0 * Pi * t / 60.0;
        points.push_back(TimedPosition{36000.0 + t, latitude + 0.001 * std::cos(angle), longitude + 0.0015 * std::sin(angle), 400.0});
    }
    return TrackLogText(ConvertTrackPoints(points, 1.0));
}

void WriteJpeg(const std::string& name)
{
    ASSERT_TRUE(WriteImage(name, 8, 8, SolidColour(90, 90, 90)));
}

// The frame the replay fixes on the log's flight, which decides the rings' tiles.
MapFrameValues FrameOfLog(const std::string& path)
{
    return LoadLogQuietly(path).Frame();
}

// What the replay's BuildTerrain prints around the frame, which it reads from its own.
std::string TerrainMessages(const MapFrameValues& frame)
{
    MapFrame = frame;
    ResetElevationStore();
    OutputCapture capture;
    {
        osg::ref_ptr<osg::Group> terrain = BuildTerrain();
        EXPECT_EQ(terrain->getNumChildren(), 249u);
    }
    ResetElevationStore();
    return capture.Finish();
}

// File names in lines that begin with the prefix, up to the terminator, in order.
std::vector<std::string> NamesAfter(const std::string& text, const std::string& prefix, const std::string& terminator)
{
    std::vector<std::string> names;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            names.push_back(line.substr(prefix.size(), line.find(terminator, prefix.size()) - prefix.size()));
    return names;
}

} // namespace

class PlanTest : public DataToolFixture
{
};

TEST_F(PlanTest, MissingFilesAreExactlyThoseTheTerrainReportsInItsOrder)
{
    WriteText("avlog.log", FlightLog());
    const MapFrameValues frame = FrameOfLog("avlog.log");
    const std::vector<ElevationTileId> elevation = RingElevationTiles(frame.CI, frame.CJ);
    ASSERT_EQ(elevation.size(), 4u) << "the rings straddle an elevation tile corner";
    const std::vector<ImageryTileId> imagery = ImageryTilesOfFlight(frame.CI, frame.CJ);
    ASSERT_EQ(imagery.size(), 249u);

    // Some of everything present: two elevation tiles (any bytes open), every third image,
    // and one image that is there but does not decode.
    WriteText(ElevationTileFileName(elevation[0].tileRow, elevation[0].tileColumn), "");
    WriteText(ElevationTileFileName(elevation[3].tileRow, elevation[3].tileColumn), std::string(2101250, '\0'));
    for (size_t i = 0; i < imagery.size(); i += 3)
        WriteJpeg(ImageryFileName(imagery[i]));
    WriteText(ImageryFileName(imagery[1]), "not a picture");

    std::string out, err;
    ASSERT_EQ(RunTool({"plan", "avlog.log"}, &out, &err), 1) << out << err;
    std::vector<std::string> planned;
    for (const std::string& line : NamesAfter(out, "MISSING ", " "))
        if (line.compare(0, 4, "zsi-") == 0 || line.compare(0, 6, "./img/") == 0)
            planned.push_back(line);

    // The viewer's messages, in the order it prints them.
    const std::string messages = TerrainMessages(frame);
    std::vector<std::string> viewer;
    std::istringstream lines(messages);
    std::string line;
    while (std::getline(lines, line))
    {
        const std::string egm = "Not open egm '";
        if (line.compare(0, egm.size(), egm) == 0)
            viewer.push_back(line.substr(egm.size(), line.size() - egm.size() - 1));
        else if (line.compare(0, 4, "img:") == 0)
            viewer.push_back(line.substr(4, line.find(" - ") - 4));
    }
    EXPECT_EQ(planned.size(), 2u + 249u - 83u);
    EXPECT_EQ(planned, viewer) << messages;
}

TEST_F(PlanTest, CompleteOnlyWhenEveryFileIsThere)
{
    WriteText("avlog.log", FlightLog());
    const MapFrameValues frame = FrameOfLog("avlog.log");
    // Tiles of 257 m everywhere: an empty tile would be no terrain (see EmptyTileIsNoTerrain).
    for (const ElevationTileId& tile : RingElevationTiles(frame.CI, frame.CJ))
        WriteText(ElevationTileFileName(tile.tileRow, tile.tileColumn), std::string(2101250, '\x01'));
    for (const ImageryTileId& tile : ImageryTilesOfFlight(frame.CI, frame.CJ))
        WriteJpeg(ImageryFileName(tile));
    WriteJpeg(GrassTextureFile);
    WriteJpeg(AircraftTextureFile);
    WriteText(AircraftModelFile, TriangleModel);

    std::string out;
    EXPECT_EQ(RunTool({"plan", "avlog.log"}, &out), 1) << "the sky is still missing";
    EXPECT_NE(out.find("MISSING sky12q-1024x512.jpeg"), std::string::npos) << out;
    EXPECT_NE(out.find("incomplete: 1 of 257 files missing"), std::string::npos) << out;

    WriteJpeg(SkyTextureFile);
    EXPECT_EQ(RunTool({"plan", "avlog.log"}, &out), 0) << out;
    EXPECT_EQ(out.find("MISSING"), std::string::npos) << out;
    EXPECT_NE(out.find("complete: all 257 files present"), std::string::npos) << out;
}

TEST_F(PlanTest, SummaryGivesEachLevelsBoxAroundItsTiles)
{
    WriteText("avlog.log", FlightLog());
    std::string out;
    ASSERT_EQ(RunTool({"plan", "avlog.log"}, &out), 1);
    const MapFrameValues frame = FrameOfLog("avlog.log");
    const std::vector<ImageryTileId> imagery = ImageryTilesOfFlight(frame.CI, frame.CJ);
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        const int32_t shift = FinestLevel - level;
        // Level 18 is the 7 x 7 block around the centre tile; every level spans 7 tiles.
        TileRange range = {level, (frame.CI >> shift) - 3, (frame.CI >> shift) + 3, (frame.CJ >> shift) - 3, (frame.CJ >> shift) + 3};
        const GeoBox box = BoxOfTiles(range);
        char expected[200];
        snprintf(expected, sizeof expected, "level %d: %d of %d tiles missing, rows %d..%d columns %d..%d, --bbox %.6f,%.6f,%.6f,%.6f", level, level == 18 ? 49 : 40, level == 18 ? 49 : 40, range.firstRow, range.lastRow, range.firstColumn, range.lastColumn, box.south, box.west, box.north, box.east);
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
        // And the box holds every tile of the level.
        for (const ImageryTileId& tile : imagery)
            if (tile.level == level)
            {
                EXPECT_GE(tile.row, range.firstRow);
                EXPECT_LE(tile.column, range.lastColumn);
            }
    }
}

TEST_F(PlanTest, BadCommandLinesEndWithTheUsageStatusAndLogsWithTheReplaysStatuses)
{
    std::string out, err;
    EXPECT_EQ(RunTool({"plan"}, &out, &err), DataToolUsage) << out;
    EXPECT_EQ(err.rfind("plan: no LOG given\nUsage: ", 0), 0u) << err;
    WriteText("avlog.log", FlightLog());
    EXPECT_EQ(RunTool({"plan", "avlog.log", "--sample", "1-10"}, &out, &err), DataToolUsage) << out;
    EXPECT_EQ(err.rfind("plan: unknown option '--sample'\n", 0), 0u) << err;
    EXPECT_EQ(RunTool({"plan", "avlog.log", "--samples"}, &out, &err), DataToolUsage) << out;
    EXPECT_EQ(err.rfind("plan: --samples needs a value\n", 0), 0u) << err;
    EXPECT_EQ(RunTool({"plan", "absent.log"}, &out), 254) << out;
    WriteText("empty.log", "samplenumber,gps_curlat,gps_curlon\n");
    EXPECT_EQ(RunTool({"plan", "empty.log"}, &out), 252) << out;
}

TEST_F(PlanTest, EmptyTileIsNoTerrain)
{
    WriteText("avlog.log", FlightLog());
    const MapFrameValues frame = FrameOfLog("avlog.log");
    const std::vector<ElevationTileId> elevation = RingElevationTiles(frame.CI, frame.CJ);
    for (const ElevationTileId& tile : elevation)
        WriteText(ElevationTileFileName(tile.tileRow, tile.tileColumn), std::string(2101250, &tile == &elevation[2] ? '\0' : '\x01'));
    std::string out;
    EXPECT_EQ(RunTool({"plan", "avlog.log"}, &out), 1);
    const std::string empty = ElevationTileFileName(elevation[2].tileRow, elevation[2].tileColumn);
    EXPECT_NE(out.find("EMPTY " + empty), std::string::npos) << out;
    EXPECT_EQ(NamesAfter(out, "EMPTY ", " ").size(), 1u) << out;
    EXPECT_NE(out.find(", 1 elevation tile empty"), std::string::npos) << out;
    long long withHeight = -1, points = -1;
    const size_t line = out.find("elevation points the terrain reads: ");
    ASSERT_NE(line, std::string::npos) << out;
    ASSERT_EQ(sscanf(out.c_str() + line, "elevation points the terrain reads: %lld of %lld", &withHeight, &points), 2);
    EXPECT_GT(withHeight, 0);
    EXPECT_LT(withHeight, points) << "the rings read points of every tile";
}

TEST_F(PlanTest, CoverageSaysHowMuchOfTheFlightIsOverTheTerrain)
{
    // 80 samples around 47.5 N 8 E and 10 at each of 7.5 E and 8.5 E: the centre stays at
    // 8 E, and the outer samples lie some 38 km from it, beyond the 23 km square.
    std::vector<SampleRow> samples(100);
    for (int i = 0; i < 100; ++i)
    {
        const double longitude = i < 10 ? 7.5 : (i >= 90 ? 8.5 : 8.0 + 0.0001 * (i % 7));
        samples[i].samplenumber = i + 1;
        samples[i].gps_time = 36000.0 + i;
        samples[i].gps_curlat = 47.5 * 60.0;
        samples[i].gps_curlon = longitude * 60.0;
        samples[i].gps_curalt = 500.0;
    }
    WriteText("wide.log", TrackLogText(samples));
    std::string out;
    EXPECT_EQ(RunTool({"plan", "wide.log"}, &out), 1);
    EXPECT_NE(out.find("level 13 (23."), std::string::npos) << out;
    EXPECT_NE(out.find(" km square) 80.0%\n"), std::string::npos) << out;
    EXPECT_NE(out.find("outside the terrain: 20 samples (20.0%)"), std::string::npos) << out;
    EXPECT_NE(out.find("files missing; 20.0% of the flight lies outside the terrain"), std::string::npos) << out;
    double south, west, north, east;
    const size_t box = out.find("--bbox", out.find("outside the terrain:"));
    ASSERT_EQ(sscanf(out.c_str() + box, "--bbox %lf,%lf,%lf,%lf", &south, &west, &north, &east), 4) << out;
    EXPECT_LE(west, 7.5);
    EXPECT_GE(east, 8.5);
    EXPECT_LE(south, 47.5);
    EXPECT_GE(north, 47.5);

    WriteText("avlog.log", FlightLog());
    EXPECT_EQ(RunTool({"plan", "avlog.log"}, &out), 1);
    EXPECT_EQ(out.find("outside the terrain"), std::string::npos) << out;
}

// A flight of some 19 km east along 47 N leaves the rings far behind. The plan counts the
// corridor the player reads, with the rings' files listed as before and the corridor only
// counted; tiles beyond the rings count by their file alone, and their mean size stands for
// the missing ones.
TEST_F(PlanTest, CorridorAlongTheWholeFlightIsCountedWithItsBytes)
{
    std::vector<TimedPosition> points;
    for (int t = 0; t <= 500; ++t)
        points.push_back(TimedPosition{36000.0 + t, 47.0, 7.9 + 0.0005 * t, 800.0});
    WriteText("line.log", TrackLogText(ConvertTrackPoints(points, 1.0)));
    const LoadedFlight line = LoadLogQuietly("line.log");
    const MapFrameValues frame = line.Frame();
    const std::vector<GridTile> flight = TilesUnderFlights({line.Rows()});
    const std::vector<ImageryTileId> imagery = CorridorImageryTiles(frame.CI, frame.CJ, flight);
    const std::vector<ElevationTileId> elevation = CorridorElevationTiles(frame.CI, frame.CJ, imagery);
    const size_t rings = ImageryTilesOfFlight(frame.CI, frame.CJ).size();
    ASSERT_GT(imagery.size(), 10 * rings) << "the line reaches far beyond the rings";

    // Beyond the rings: two tiles of 1000 and 3000 bytes that do not decode (there all the
    // same), one empty (missing); and every elevation tile, one of them without heights.
    WriteText(ImageryFileName(imagery[rings]), std::string(1000, 'x'));
    WriteText(ImageryFileName(imagery.back()), std::string(3000, 'x'));
    WriteText(ImageryFileName(imagery[rings + 1]), "");
    for (const ElevationTileId& tile : elevation)
        WriteText(ElevationTileFileName(tile.tileRow, tile.tileColumn), std::string(ElevationTileBytes, &tile == &elevation.back() ? '\0' : '\x01'));

    std::string out;
    ASSERT_EQ(RunTool({"plan", "line.log"}, &out), 1) << out;
    EXPECT_EQ(NamesAfter(out, "MISSING ./img/", " ").size(), rings) << "the corridor is counted, not listed";
    char expected[2][200];
    snprintf(expected[0], sizeof expected[0], "corridor elevation: %zu tiles, %zu present, 1 missing; %.1f MB in all, 2.1 MB missing", elevation.size(), elevation.size() - 1, elevation.size() * 2.10125);
    const size_t missing = imagery.size() - 2;
    snprintf(expected[1], sizeof expected[1], "corridor imagery: %zu tiles, 2 present, %zu missing; 0.0 MB present, about %.1f MB missing (estimated at the present tiles' mean of 2000 bytes a tile)", imagery.size(), missing, missing * 2000 / 1e6);
    for (const char* line : expected)
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    size_t finest = 0;
    for (const ImageryTileId& tile : imagery)
        finest += tile.level == FinestLevel;
    EXPECT_NE(out.find("level 18 " + std::to_string(finest - 1) + " of " + std::to_string(finest) + ","), std::string::npos) << out;
}
