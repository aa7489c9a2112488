#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/DataToolSupport.h"
#include "flight/FlightLoading.h"
#include "geo/GeoTiles.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "support/GeoTiffFiles.h"
#include "terrain/ElevationTileStore.h"
#include "terrain/TerrainHeight.h"
#include "world/DemImport.h"

namespace
{

const double NoData = -9999.0;

// A one-band Float32 GeoTIFF whose pixels hold height(latitude, longitude) of their centres.
void WriteGeoTiff(const std::string& path, const GeoTiffGrid& grid, double (*heightAt)(double, double))
{
    WriteGeoTiff(path, grid, GDT_Float32, 1, [&](int, int r, int c) { return heightAt(grid.Latitude(r), grid.Longitude(c)); }, NoData);
}

double Plane(double latitude, double longitude)
{
    return 100.0 + 50.0 * (longitude - 8.0) + 200.0 * (latitude - 47.0);
}

const double ConeLatitude = 47.5, ConeLongitude = 8.5, ConeRadius = 0.1;

// A cone 3000 m high, defined only within its radius (no data elsewhere).
double Cone(double latitude, double longitude)
{
    const double d = std::hypot(latitude - ConeLatitude, longitude - ConeLongitude);
    return d < ConeRadius ? 3000.0 - 5000.0 * d : NoData;
}

// Tiles 89..90 by 133..134 lie around 47 N 8 E; the plane covers all of them.
void WriteSources()
{
    const double west = GridColumnLongitude(133 * 1024) - 0.05, east = GridColumnLongitude(135 * 1024) + 0.05;
    const double north = GridRowLatitude(89 * 1024) + 0.05, south = GridRowLatitude(91 * 1024) - 0.05;
    const double pixel = 0.01;
    WriteGeoTiff("plane.tif", GeoTiffGrid{west, north, pixel, static_cast<int>((east - west) / pixel) + 1, static_cast<int>((north - south) / pixel) + 1}, Plane);
    const double conePixel = 0.002;
    WriteGeoTiff("cone.tif", GeoTiffGrid{ConeLongitude - 0.15, ConeLatitude + 0.15, conePixel, 150, 150}, Cone);
}

std::vector<std::unique_ptr<ElevationSource>> OpenSources(const std::vector<std::string>& paths)
{
    std::vector<std::unique_ptr<ElevationSource>> sources;
    for (const std::string& path : paths)
    {
        sources.push_back(ElevationSource::Open(path));
        EXPECT_NE(sources.back(), nullptr) << path;
    }
    return sources;
}

// The tile's heights as sampled from the sources; `missing` counts the points without data.
std::vector<int16_t> SampleTile(const std::vector<std::unique_ptr<ElevationSource>>& sources, ElevationTileId id, int64_t* missing)
{
    SampledTile sampled;
    std::string error;
    EXPECT_TRUE(SampleElevationTile(sources, id, &sampled, &error)) << error;
    *missing = std::count(sampled.tile.qualities.begin(), sampled.tile.qualities.end(), HeightQuality::None);
    return sampled.tile.heights;
}

int16_t At(const std::vector<int16_t>& tile, int r, int c)
{
    return tile[static_cast<size_t>(r) * ElevationTileSamples + c];
}

} // namespace

class DemImportTest : public DataToolFixture
{
};

TEST_F(DemImportTest, PlaneHeightsAtGridPointsAreBilinearAndRounded)
{
    WriteSources();
    const auto sources = OpenSources({"plane.tif"});
    int64_t missing = -1;
    const std::vector<int16_t> tile = SampleTile(sources, ElevationTileId{89, 133}, &missing);
    EXPECT_EQ(missing, 0);
    for (auto rc : {std::make_pair(0, 0), std::make_pair(0, 1024), std::make_pair(311, 777), std::make_pair(1023, 5), std::make_pair(1024, 1024)})
    {
        const double expected = Plane(GridRowLatitude(89 * 1024 + rc.first), GridColumnLongitude(133 * 1024 + rc.second));
        EXPECT_NEAR(At(tile, rc.first, rc.second), expected, 0.5 + 1e-3) << "sample " << rc.first << "," << rc.second;
    }
}

TEST_F(DemImportTest, FirstSourceWinsWhereItHasDataAndTheNextFillsItsHoles)
{
    WriteSources();
    const auto sources = OpenSources({"cone.tif", "plane.tif"});
    auto gridRow = [](double latitude) { return static_cast<int32_t>(std::lround(MercatorY(latitude) * TileScale)); };
    auto gridColumn = [](double longitude) { return static_cast<int32_t>(std::lround(LongitudeX(longitude) * TileScale)); };
    struct Probe
    {
        int32_t row, column;
        double expected, tolerance;
    };
    const int32_t apexRow = gridRow(ConeLatitude), apexColumn = gridColumn(ConeLongitude);
    const int32_t slopeColumn = gridColumn(ConeLongitude + 0.05);
    const int32_t outsideRow = gridRow(ConeLatitude + 0.12);
    const Probe probes[] = {
        {apexRow, apexColumn, 3000.0, 10.0},
        {apexRow, slopeColumn, Cone(GridRowLatitude(apexRow), GridColumnLongitude(slopeColumn)), 1.5},
        {outsideRow, apexColumn, Plane(GridRowLatitude(outsideRow), GridColumnLongitude(apexColumn)), 0.5 + 1e-3},
    };
    for (const Probe& probe : probes)
    {
        int64_t missing = 0;
        const ElevationTileId id{probe.row / ElevationTileSize, probe.column / ElevationTileSize};
        const std::vector<int16_t> tile = SampleTile(sources, id, &missing);
        EXPECT_EQ(missing, 0);
        EXPECT_NEAR(At(tile, probe.row % ElevationTileSize, probe.column % ElevationTileSize), probe.expected, probe.tolerance) << "grid point " << probe.row << "," << probe.column;
    }
}

TEST_F(DemImportTest, LastRowAndColumnRepeatTheNeighboursFirst)
{
    WriteSources();
    const auto sources = OpenSources({"cone.tif", "plane.tif"});
    int64_t missing = 0;
    const std::vector<int16_t> tile = SampleTile(sources, ElevationTileId{89, 133}, &missing);
    const std::vector<int16_t> south = SampleTile(sources, ElevationTileId{90, 133}, &missing);
    const std::vector<int16_t> east = SampleTile(sources, ElevationTileId{89, 134}, &missing);
    int differentRows = 0, differentColumns = 0;
    for (int i = 0; i < ElevationTileSamples; ++i)
    {
        differentRows += At(tile, 1024, i) != At(south, 0, i);
        differentColumns += At(tile, i, 1024) != At(east, i, 0);
    }
    EXPECT_EQ(differentRows, 0);
    EXPECT_EQ(differentColumns, 0);
    // The plane falls to the south: row 1024 is not a copy of row 1023.
    EXPECT_NE(At(tile, 1024, 0), At(tile, 1023 - 100, 0));
}

TEST_F(DemImportTest, CommandWritesTilesTheProgramReads)
{
    WriteSources();
    // A box inside tile 89,133 near its south-east corner, so its grid points reach into
    // the neighbours only through the shared edge.
    const double north = GridRowLatitude(89 * 1024 + 1000), south = GridRowLatitude(89 * 1024 + 1010);
    const double west = GridColumnLongitude(133 * 1024 + 1000), east = GridColumnLongitude(133 * 1024 + 1010);
    char box[128];
    snprintf(box, sizeof box, "%.9f,%.9f,%.9f,%.9f", south, west, north, east);
    std::string out, err;
    ASSERT_EQ(RunTool({"dem", "cone.tif", "plane.tif", "--bbox", box}, &out, &err), 0) << out << err;
    EXPECT_TRUE(Exists("zsi-89-133.egm")) << out;
    EXPECT_FALSE(Exists("zsi-90-133.egm")) << out;
    EXPECT_FALSE(Exists("zsi-89-133.egm.part"));
    EXPECT_EQ(std::filesystem::file_size("zsi-89-133.egm"), 2101250u);

    // Little-endian int16, row by row from the north.
    const std::string bytes = ReadText("zsi-89-133.egm");
    const int r = 1005, c = 1003;
    const size_t offset = 2 * (static_cast<size_t>(r) * 1025 + c);
    const int16_t stored = static_cast<int16_t>(static_cast<uint8_t>(bytes[offset]) | static_cast<uint8_t>(bytes[offset + 1]) << 8);
    EXPECT_NEAR(stored, Plane(GridRowLatitude(89 * 1024 + r), GridColumnLongitude(133 * 1024 + c)), 0.5 + 1e-3);
}

TEST_F(DemImportTest, PointsOutsideEverySourceAreZeroAndCounted)
{
    WriteSources();
    const auto sources = OpenSources({"cone.tif"});
    int64_t missing = 0;
    const int32_t row = static_cast<int32_t>(MercatorY(ConeLatitude) * TileScale), column = static_cast<int32_t>(LongitudeX(ConeLongitude) * TileScale);
    const std::vector<int16_t> tile = SampleTile(sources, ElevationTileId{row / 1024, column / 1024}, &missing);
    EXPECT_GT(missing, 0);
    EXPECT_LT(missing, 1025 * 1025);
    EXPECT_EQ(At(tile, 0, 0), 0);
    EXPECT_GT(At(tile, row % 1024, column % 1024), 2900);
}

TEST_F(DemImportTest, BoxOutsideTheSourceFailsAndWritesNothing)
{
    WriteSources();
    std::string out, err;
    EXPECT_EQ(RunTool({"dem", "cone.tif", "--bbox", "-10,20,-9,21"}, &out, &err), ExitBadInput);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    for (const auto& entry : std::filesystem::directory_iterator("."))
        EXPECT_NE(entry.path().extension(), ".egm") << entry.path();

    WriteText("junk.tif", "not a raster");
    EXPECT_EQ(RunTool({"dem", "junk.tif", "--bbox", "47,8,47.1,8.1"}, &out, &err), ExitBadInput);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(RunTool({"dem", "plane.tif", "--bbox", "47,8,46,9"}, &out, &err), DataToolUsage) << "south above north";

    // Around a log, read without the replay's transcript.
    WriteText("far.log", "samplenumber,gps_time,gps_curlat,gps_curlon\n1,0.0,-600.0,1200.0\n2,0.2,-600.1,1200.1\n");
    EXPECT_EQ(RunTool({"dem", "cone.tif", "--log", "far.log"}, &out, &err), ExitBadInput);
    EXPECT_EQ(out.find("cols["), std::string::npos) << out;
    EXPECT_NE(out.find(": no source covers it, not written\n"), std::string::npos) << out;
}

// A flight east along 16.8 S from 179.985 E across the 180th meridian, over a raster that
// knows the ground west of it by the usual longitudes, up to 180 E. The log runs on without
// a seam, the plan centres the terrain on the flight, and the import fills the tile that
// the terrain reads there.
TEST_F(DemImportTest, FlightAcross180ReadsTheGroundFromTheRasterARoundAway)
{
    std::vector<TimedPosition> points;
    for (int t = 0; t <= 120; ++t)
    {
        const double longitude = 179.985 + 0.0002 * t; // as a GPS gives it: from -180 past 180
        points.push_back(TimedPosition{36000.0 + t, -16.8, longitude > 180.0 ? longitude - 360.0 : longitude, 100.0});
    }
    const std::vector<SampleRow> rows = ConvertTrackPoints(points, 1.0);
    ASSERT_EQ(rows.size(), points.size());
    const double speed = 0.0002 * MetresPerDegree * std::cos(16.8 * Degree);
    for (size_t i = 1; i < rows.size(); ++i)
    {
        ASSERT_NEAR(rows[i].gps_curlon - rows[i - 1].gps_curlon, 0.0002 * 60.0, 1e-6) << i;
        ASSERT_NEAR(rows[i].gps_curspeed, speed, 0.01) << i;
    }
    WriteText("avlog.log", TrackLogText(rows));
    WriteGeoTiff("west.tif", GeoTiffGrid{179.9, -16.7, 0.01, 10, 20}, [](double, double longitude) { return 1000.0 * (longitude - 179.0); });
    std::string out, err;
    ASSERT_EQ(RunTool({"dem", "west.tif", "--log", "avlog.log"}, &out, &err), 0) << out << err;
    RunTool({"plan", "avlog.log"}, &out, &err);
    EXPECT_EQ(out.find("outside the terrain"), std::string::npos) << out;
    const int32_t tileRow = static_cast<int32_t>(MercatorY(-16.8) * TileScale) / ElevationTileSize;
    EXPECT_NE(out.find("present " + ElevationTileFileName(tileRow, 255)), std::string::npos) << out;
    RunTool({"check", "avlog.log"}, &out, &err);
    EXPECT_NE(out.find("positions at 0 or out of range: none"), std::string::npos) << out;

    ASSERT_FALSE(LoadLogQuietly("avlog.log").rows.empty());
    ResetElevationStore();
    const TerrainHeight start = TerrainHeightAt(-16.8, rows.front().gps_curlon / 60.0);
    ResetElevationStore();
    EXPECT_TRUE(start.covered);
    EXPECT_NEAR(start.metres, 985.0, 1.0);
}
