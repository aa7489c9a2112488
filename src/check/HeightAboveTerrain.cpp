#include "check/HeightAboveTerrain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "log/SampleRow.h"
#include "terrain/RingTiles.h"
#include "terrain/TerrainHeight.h"

// Whether the zoom-18 grid point lies on the ground the rings inside `outer` draw.
static bool InsideTheRings(const RingSquare& outer, double gridRow, double gridColumn)
{
    // Tile numbers times the tile size in double: at the grid's edges they leave int32.
    const double s = outer.s;
    return gridRow >= static_cast<double>(outer.firstRow) * s && gridRow < static_cast<double>(outer.lastRow + 1) * s &&
           gridColumn >= static_cast<double>(outer.firstColumn) * s && gridColumn < static_cast<double>(outer.lastColumn + 1) * s;
}

DrawnGround RingsAround(const MapFrameValues& frame)
{
    // Found from the rings' 249 patches: once a flight, not once a sample.
    return DrawnGround{DrawnTerrain::Rings, RingSquares(frame.CI, frame.CJ).back()};
}

DrawnGround PagedGround()
{
    return DrawnGround{DrawnTerrain::Paged, {}};
}

TerrainClearance HeightAboveTerrain(const DrawnGround& drawn, const SampleRow& row)
{
    TerrainClearance clearance;
    const double latitude = row.gps_curlat / 60.0;
    const double longitude = row.gps_curlon / 60.0;
    // Beyond the poles, or more than a turn past the date line, the projection folds back
    // onto real places; a flight across 180 degrees runs on past it, and so does the map.
    if (!(std::fabs(latitude) <= 90.0 && std::fabs(longitude) < 540.0))
        return clearance;
    const double gridRow = MercatorY(latitude) * TileScale;
    const double gridColumn = LongitudeX(longitude) * TileScale;
    // Outside the rings the replay draws nothing; its tiles are not even read there.
    const bool paged = drawn.terrain == DrawnTerrain::Paged;
    if (!paged && !InsideTheRings(drawn.outer, gridRow, gridColumn))
        return clearance;
    const TerrainHeight ground = TerrainHeightAtGrid(gridRow, gridColumn, paged ? TileReports::Quiet : TileReports::Loud);
    if (!ground.covered)
        return clearance;
    clearance.terrain = ground.metres;
    clearance.height = row.gps_curalt - ground.metres;
    clearance.covered = true;
    return clearance;
}

GroundHeight GroundHeightOf(const DrawnGround& ground)
{
    return [ground](double latitude, double longitude)
    {
        SampleRow row = {};
        row.gps_curlat = latitude * 60.0;
        row.gps_curlon = longitude * 60.0;
        const TerrainClearance clearance = HeightAboveTerrain(ground, row);
        return clearance.covered ? clearance.terrain : NoValue;
    };
}
