// The height of the drawn ground between grid points.
#include "support/TerrainTestSupport.h"
#include "geo/MapProjection.h"
#include "terrain/TerrainHeight.h"

namespace
{

using TerrainHeightTest = TerrainFixture;

TEST_F(TerrainHeightTest, ExactOnGridPointsLinearAlongEdgesMeanAtTheCentre)
{
    // Tile 3, 5 flat at 0 but for a cell whose corners are no plane.
    const double nw = 100, sw = 140, se = 400, ne = -60;
    std::vector<unsigned char> bytes(2 * 1025 * 1025, 0);
    const auto set = [&](int32_t r, int32_t c, int16_t h) {
        bytes[2 * (r * 1025 + c)] = static_cast<unsigned char>(h & 0xFF);
        bytes[2 * (r * 1025 + c) + 1] = static_cast<unsigned char>((h >> 8) & 0xFF);
    };
    set(200, 17, nw);
    set(201, 17, sw);
    set(201, 18, se);
    set(200, 18, ne);
    WriteBytes(ElevationTileFileName(3, 5), bytes);
    const int64_t r = 3 * 1024 + 200;
    const int64_t c = 5 * 1024 + 17;

    EXPECT_EQ(TerrainHeightAtGrid(r, c).metres, nw);
    EXPECT_EQ(TerrainHeightAtGrid(r + 1, c + 1).metres, se);
    EXPECT_DOUBLE_EQ(TerrainHeightAtGrid(r + 0.25, c).metres, nw + 0.25 * (sw - nw));            // west edge
    EXPECT_DOUBLE_EQ(TerrainHeightAtGrid(r + 1, c + 0.5).metres, (sw + se) / 2);                  // south edge
    EXPECT_DOUBLE_EQ(TerrainHeightAtGrid(r + 0.5, c + 0.5).metres, (nw + sw + se + ne) / 4);      // centre
    // Half way from the middle of the north edge to the centre.
    EXPECT_DOUBLE_EQ(TerrainHeightAtGrid(r + 0.25, c + 0.5).metres, ((nw + ne) / 2 + (nw + sw + se + ne) / 4) / 2);
    // Flat within a triangle, as drawn (a bilinear surface would bend here by about 1 m).
    const auto at = [&](double du, double dv) { return TerrainHeightAtGrid(r + du, c + dv).metres; };
    EXPECT_NEAR(at(0.2, 0.3), (at(0.15, 0.25) + at(0.25, 0.35)) / 2, 1e-9);
    // Continuous across the diagonal between two triangles.
    EXPECT_NEAR(TerrainHeightAtGrid(r + 0.3, c + 0.3 - 1e-9).metres, TerrainHeightAtGrid(r + 0.3 + 1e-9, c + 0.3).metres, 1e-6);
    EXPECT_TRUE(TerrainHeightAtGrid(r + 0.3, c + 0.3).covered);
}

TEST_F(TerrainHeightTest, CellsOfMissingTilesOrOffTheGridAreNotCovered)
{
    WriteDistinctTile(3, 5);
    BeginCapture();
    EXPECT_FALSE(TerrainHeightAtGrid(3 * 1024 + 1023.5, 5 * 1024 + 3.5).covered) << "its south corners lie in tile 4, 5";
    EXPECT_FALSE(TerrainHeightAtGrid(-0.5, 10.0).covered);
    EXPECT_FALSE(TerrainHeightAtGrid(10.0, 262144.0).covered);
    EndCapture();
    EXPECT_TRUE(TerrainHeightAt(GridRowLatitude(3 * 1024 + 9.5), GridColumnLongitude(5 * 1024 + 9.5)).covered);
}

} // namespace
