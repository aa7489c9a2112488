// dem against tiles that exist already and rasters with voids: an import merges, never
// lowers the number of points with heights, and fills voids from their surroundings.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/DataToolSupport.h"
#include "geo/GeoTiles.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "support/GeoTiffFiles.h"
#include "terrain/ElevationTileStore.h"
#include "world/DemImport.h"
#include "world/TileCoverage.h"

namespace
{

const int16_t Void = -32767; // SRTM's no-data value
const int32_t TileRow = 89, TileColumn = 133;
const double Pixel = 0.004; // degrees

// A raster of a plane over the middle of tile 89, 133 (about 47 N 8 E), 200 pixels wide,
// leaving a margin of the tile outside it. `columns` picks the part of it to write.
struct PlaneRaster
{
    double west = GridColumnLongitude(TileColumn * 1024.0) + 0.1;
    double north = GridRowLatitude(TileRow * 1024.0) - 0.1;
    int width = 200;
    int height = static_cast<int>((north - GridRowLatitude((TileRow + 1) * 1024.0) - 0.1) / Pixel);

    static double Height(double latitude, double longitude) { return 1000.0 + 500.0 * (longitude - 8.0) + 300.0 * (latitude - 47.0); }

    // Columns first .. last - 1, with the block of voidColumns x voidRows pixels from
    // (voidColumn, voidRow) void.
    void Write(const std::string& path, int first, int last, int voidColumn = 0, int voidRow = 0, int voidColumns = 0, int voidRows = 0) const
    {
        const GeoTiffGrid part{west + first * Pixel, north, Pixel, last - first, height};
        WriteGeoTiff(path, part, GDT_Int16, 1, [&](int, int r, int c) {
            const bool inVoid = first + c >= voidColumn && first + c < voidColumn + voidColumns && r >= voidRow && r < voidRow + voidRows;
            return inVoid ? Void : std::round(Height(part.Latitude(r), part.Longitude(c)));
        }, Void);
    }
};

// A box inside the tile, so that dem writes this one tile only.
std::string TileBox()
{
    char box[160];
    snprintf(box, sizeof box, "%.9f,%.9f,%.9f,%.9f", GridRowLatitude(TileRow * 1024 + 900.0), GridColumnLongitude(TileColumn * 1024 + 100.0), GridRowLatitude(TileRow * 1024 + 100.0), GridColumnLongitude(TileColumn * 1024 + 900.0));
    return box;
}

const std::string MergedTileName = ElevationTileFileName(TileRow, TileColumn);

CoveredTile LoadTile()
{
    CoveredTile tile;
    std::string reason;
    EXPECT_TRUE(LoadCoveredTile(MergedTileName, &tile, &reason)) << reason;
    return tile;
}

// The number after `label` in the summary line, e.g. Count(err, " void-filled").
long long Count(const std::string& text, const std::string& label)
{
    const size_t end = text.find(label);
    if (end == std::string::npos)
        return -1;
    size_t begin = end;
    while (begin > 0 && isdigit(static_cast<unsigned char>(text[begin - 1])))
        --begin;
    return std::stoll(text.substr(begin, end - begin));
}

} // namespace

class DemMergeTest : public DataToolFixture
{
};

TEST_F(DemMergeTest, VoidIsFilledFromItsSurroundingsAndCountedApartFromOutside)
{
    const PlaneRaster raster;
    raster.Write("void.tif", 0, raster.width, 90, 100, 12, 12);
    std::string out, err;
    ASSERT_EQ(RunTool({"dem", "void.tif", "--bbox", TileBox()}, &out, &err), 0) << out << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    const CoveredTile tile = LoadTile();
    long long filled = 0, measured = 0, none = 0;
    for (size_t i = 0; i < tile.qualities.size(); ++i)
    {
        const double latitude = GridRowLatitude(TileRow * 1024.0 + i / 1025), longitude = GridColumnLongitude(TileColumn * 1024.0 + i % 1025);
        if (tile.qualities[i] == HeightQuality::Filled)
        {
            ++filled;
            // Filling a plane from all sides stays close to it: nowhere near a 0 m pit.
            EXPECT_NEAR(tile.heights[i], PlaneRaster::Height(latitude, longitude), 15.0) << "point " << i;
        }
        else if (tile.qualities[i] == HeightQuality::Measured)
            ++measured;
        else
        {
            ++none;
            EXPECT_EQ(tile.heights[i], 0);
        }
    }
    // The void spans 12 x 0.004 degrees: some 35 grid columns by 52 rows, less its rim,
    // where a valid pixel is still a bilinear neighbour.
    EXPECT_GT(filled, 600);
    EXPECT_LT(filled, 12 * 12 * 20);
    EXPECT_EQ(Count(err, " read"), measured) << err;
    EXPECT_EQ(Count(err, " void-filled"), filled) << err;
    EXPECT_EQ(Count(err, " in voids too wide to fill"), 0) << err;
    EXPECT_EQ(Count(err, " outside every source"), none) << err;
    EXPECT_GT(none, 0) << "the raster leaves a margin of the tile";
}

// West half, east half, a raster of nothing but voids, the west half with a wide void: after
// each import the tile has at least the valid points it had, and the halves make the whole.
TEST_F(DemMergeTest, ImportsOneAfterTheOtherKeepWhatIsThereAndNeverLowerTheValidPoints)
{
    const PlaneRaster raster;
    raster.Write("whole.tif", 0, raster.width);
    raster.Write("west.tif", 0, raster.width / 2);
    raster.Write("east.tif", raster.width / 2, raster.width);
    WriteGeoTiff("voids.tif", GeoTiffGrid{raster.west, raster.north, Pixel, raster.width, raster.height}, GDT_Int16, 1, [](int, int, int) { return Void; }, Void);
    raster.Write("west-void.tif", 0, raster.width / 2, 20, 20, 60, 60);
    std::string out, err;
    ASSERT_EQ(RunTool({"dem", "whole.tif", "--bbox", TileBox()}, &out, &err), 0) << err;
    const CoveredTile whole = LoadTile();
    std::remove(MergedTileName.c_str());

    ASSERT_EQ(RunTool({"dem", "west.tif", "--bbox", TileBox()}, &out, &err), 0) << err;
    const int64_t west = CountValidPoints(LoadTile());
    ASSERT_EQ(RunTool({"dem", "east.tif", "--bbox", TileBox()}, &out, &err), 0) << err;
    const CoveredTile both = LoadTile();
    EXPECT_EQ(Count(err, " kept from the existing tiles"), west) << err;
    EXPECT_EQ(CountValidPoints(both), CountValidPoints(whole));
    int differing = 0;
    for (size_t i = 0; i < whole.heights.size(); ++i)
        differing += std::abs(whole.heights[i] - both.heights[i]) > 1 ? 1 : 0;
    EXPECT_EQ(differing, 0);

    EXPECT_EQ(RunTool({"dem", "voids.tif", "--bbox", TileBox()}, &out, &err), ExitBadInput) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(LoadTile().heights, both.heights);

    ASSERT_EQ(RunTool({"dem", "west-void.tif", "--bbox", TileBox()}, &out, &err), 0) << err;
    const CoveredTile last = LoadTile();
    EXPECT_GE(CountValidPoints(last), CountValidPoints(both));
    // What that raster alone gives each point: where it only fills, the measurements stay.
    std::vector<std::unique_ptr<ElevationSource>> sources;
    sources.push_back(ElevationSource::Open("west-void.tif"));
    ASSERT_NE(sources.back(), nullptr);
    SampledTile alone;
    ASSERT_TRUE(SampleElevationTile(sources, ElevationTileId{TileRow, TileColumn}, &alone, &err)) << err;
    int lowered = 0, changedWithoutMeasurement = 0, filledPoints = 0;
    for (size_t i = 0; i < both.qualities.size(); ++i)
    {
        lowered += last.qualities[i] < both.qualities[i] ? 1 : 0;
        if (alone.tile.qualities[i] != HeightQuality::Measured)
            changedWithoutMeasurement += last.heights[i] != both.heights[i] ? 1 : 0;
        filledPoints += alone.tile.qualities[i] == HeightQuality::Filled ? 1 : 0;
    }
    EXPECT_EQ(lowered, 0);
    EXPECT_EQ(changedWithoutMeasurement, 0);
    EXPECT_GT(filledPoints, 5000);
}

TEST_F(DemMergeTest, TileWithoutCoverageCountsItsNonZeroHeightsAsMeasured)
{
    // A tile from elsewhere (or from an older import): 700 m in its top half, 0 m below.
    std::string bytes(2 * 1025 * 1025, '\0');
    for (size_t i = 0; i < 512 * 1025; ++i)
    {
        bytes[2 * i] = static_cast<char>(700 & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(700 >> 8);
    }
    WriteText(MergedTileName, bytes);
    const PlaneRaster raster;
    // A void over the whole raster but its last row, which lies in the tile's lower half:
    // there it measures, and above it only fills, up into the upper half.
    raster.Write("filled.tif", 0, raster.width, 0, 0, raster.width, raster.height - 1);
    std::string out, err;
    ASSERT_EQ(RunTool({"dem", "filled.tif", "--bbox", TileBox()}, &out, &err), 0) << err;
    const CoveredTile tile = LoadTile();
    EXPECT_EQ(tile.origin, CoverageOrigin::CoverageFile);
    int replacedMeasured = 0, filledZeros = 0;
    for (size_t i = 0; i < tile.heights.size(); ++i)
    {
        replacedMeasured += i < 512 * 1025 && tile.heights[i] != 700 ? 1 : 0;
        filledZeros += i >= 512 * 1025 && tile.qualities[i] == HeightQuality::Filled && tile.heights[i] > 400 ? 1 : 0;
    }
    EXPECT_EQ(replacedMeasured, 0);
    EXPECT_GT(filledZeros, 1000);

    // A coverage file that belongs to other tile bytes is ignored: the tile is judged again.
    WriteText(MergedTileName, bytes);
    EXPECT_EQ(LoadTile().origin, CoverageOrigin::Judged);
}
