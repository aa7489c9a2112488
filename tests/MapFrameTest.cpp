// The map frame: projections, their inverses, the frame's tile and scale, scene positions.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "geo/MapFrame.h"
#include "log/SampleTable.h"

namespace
{

TEST(MapFrameTest, ProjectionsAtTheirLandmarks)
{
    EXPECT_EQ(MercatorY(0.0), 0.5);
    EXPECT_NEAR(MercatorY(85.0511287798), 0.0, 1e-9); // the square map's edges
    EXPECT_NEAR(MercatorY(-85.0511287798), 1.0, 1e-9);
    EXPECT_LT(MercatorY(48.0), 0.5); // north is up the map

    EXPECT_EQ(LongitudeX(0.0), 0.5);
    EXPECT_EQ(LongitudeX(-180.0), 0.0);
    EXPECT_EQ(LongitudeX(180.0), 0.0);
    EXPECT_EQ(LongitudeX(-190.0), -10.0 / 360.0);
}

TEST(MapFrameTest, PolesGiveFiniteStandIns)
{
    EXPECT_EQ(MercatorY(90.0), 1e20);
    EXPECT_EQ(MercatorY(-90.0), -1e20);

    SetUpMapFrame(90.0, 0.0);
    EXPECT_EQ(MapFrame.CI, INT32_MAX);
    EXPECT_EQ(MapFrame.CJ, 131072);
    SetUpMapFrame(-90.0, 0.0);
    EXPECT_EQ(MapFrame.CI, INT32_MIN);
}

TEST(MapFrameTest, EquatorAndPrimeMeridianCentre)
{
    SetUpMapFrame(0.0, 0.0);
    EXPECT_EQ(MapFrame.CI, 131072);
    EXPECT_EQ(MapFrame.CJ, 131072);
    // The equator of the sphere of 6374 km is 40 049 023.1 m long, over 2^18 tiles.
    EXPECT_NEAR(1.0 / MapFrame.k, 152.7749, 1e-4);
    EXPECT_NEAR(MetresPerTile(0.0), 152.7749, 1e-4) << "the driver prints MetresPerTile as 1/k";
    // At 60 degrees the parallel is half the equator.
    EXPECT_NEAR(MetresPerTile(60.0), 152.7749 / 2.0, 1e-4);
}

// Zoom-18 web-map tiles (rows from the north, columns from 180 W) of well-known places,
// worked out from the published tile-numbering formula: the frame's tile is the tile there,
// and a sample lands at its place inside it.
TEST(MapFrameTest, FrameTileIsTheWebMapTileOfTheCentre)
{
    const struct
    {
        const char* place;
        double latitude, longitude; // degrees
        double row, column;         // fractional zoom-18 tile coordinates
    } places[] = {
        {"Eiffel Tower", 48.85837, 2.294481, 90183.022722, 132742.790076},
        {"Statue of Liberty", 40.689247, -74.044502, 98583.733065, 77154.439077},
        {"Sydney Opera House", -33.856784, 151.215297, 157300.046010, 241183.618935},
        {"the flight of the transcripts", 48.01, 10.01, 91114.149879, 138361.059556},
    };
    for (const auto& p : places)
    {
        SetUpMapFrame(p.latitude, p.longitude);
        EXPECT_EQ(MapFrame.CI, static_cast<int32_t>(p.row)) << p.place;
        EXPECT_EQ(MapFrame.CJ, static_cast<int32_t>(p.column)) << p.place;
        const osg::Vec3f position = ScenePosition(p.latitude * 60.0, p.longitude * 60.0, 500.0);
        EXPECT_NEAR(position.x(), p.row - std::floor(p.row), 1e-5) << p.place;
        EXPECT_NEAR(position.y(), p.column - std::floor(p.column), 1e-5) << p.place;
        EXPECT_NEAR(position.z() / MapFrame.k, 500.0, 1e-3) << p.place << ": altitude in metres";
    }
}

TEST(MapFrameTest, TileIndicesAreTruncatedNotRounded)
{
    SetUpMapFrame(GridRowLatitude(512.9), GridColumnLongitude(1000.7));
    EXPECT_EQ(MapFrame.CI, 512);
    EXPECT_EQ(MapFrame.CJ, 1000);

    // Truncation is toward zero also for a map x below 0 (longitude beyond 180 W).
    SetUpMapFrame(0.0, -180.0 - 0.7 * 360.0 / TileScale);
    EXPECT_EQ(MapFrame.CJ, 0);
}

TEST(MapFrameTest, GridInversesLandOnTheGridPointTheyStartFrom)
{
    // Through the projection and back, at the grid's corners, middle and odd places.
    for (const double row : {0.5, 1.0, 512.25, 91540.0, 131072.0, 200000.75, 262143.5})
    {
        EXPECT_NEAR(MercatorY(GridRowLatitude(row)) * TileScale, row, 1e-6) << row;
        EXPECT_NEAR(LongitudeX(GridColumnLongitude(row)) * TileScale, row, 1e-6) << row;
    }
    // Row 0 is the square map's north edge, and rows grow southwards.
    EXPECT_NEAR(GridRowLatitude(0.0), 85.0511287798, 1e-9);
    EXPECT_EQ(GridRowLatitude(131072.0), 0.0);
    EXPECT_GT(GridRowLatitude(91540.0), GridRowLatitude(91541.0));
    EXPECT_EQ(GridColumnLongitude(0.0), -180.0);
}

TEST(MapFrameTest, AltitudeBeyondFloatBecomesInfinityOfItsSign)
{
    SampleRow row;
    memset(&row, 0, sizeof row);
    row.gps_curlat = 48.01 * 60;
    row.gps_curlon = 10.01 * 60;
    SetUpMapFrame(48.01, 10.01);

    row.gps_curalt = 1e300;
    EXPECT_EQ(ScenePosition(row.gps_curlat, row.gps_curlon, row.gps_curalt).z(), std::numeric_limits<float>::infinity());
    row.gps_curalt = -1e300;
    EXPECT_EQ(ScenePosition(row.gps_curlat, row.gps_curlon, row.gps_curalt).z(), -std::numeric_limits<float>::infinity());
}

TEST(MapFrameTest, CurvatureDropGrowsWithTheSquareOfTheDistance)
{
    SetUpMapFrame(0.0, 0.0);
    const double radius = EarthRadius * MapFrame.k;
    EXPECT_EQ(CurvatureDrop(0.0, 0.0), 0.0);
    EXPECT_NEAR(CurvatureDrop(30.0, 40.0), 50.0 * 50.0 / (2.0 * radius), 1e-7);
    EXPECT_NEAR(CurvatureDrop(-60.0, 80.0) / CurvatureDrop(30.0, 40.0), 4.0, 1e-5);
}

} // namespace
