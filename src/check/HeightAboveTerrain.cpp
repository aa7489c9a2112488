#include "check/HeightAboveTerrain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "log/SampleRow.h"
#include "terrain/RingTiles.h"
#include "terrain/TerrainHeight.h"

namespace
{

// The outermost ring's square around the frame tile of the last call, kept: a flight is
// measured in one frame, and 249 patches per sample would cost more than the height itself.
struct KnownSquare
{
    int32_t CI = 0;
    int32_t CJ = 0;
    RingSquare outer = {};
    bool known = false;
};
// Per thread: flights may be measured in different frames side by side.
thread_local KnownSquare LastSquare;

// Whether the zoom-18 grid point lies on the ground the rings around (CI, CJ) draw.
bool InsideTheRings(int32_t CI, int32_t CJ, double gridRow, double gridColumn)
{
    if (!LastSquare.known || LastSquare.CI != CI || LastSquare.CJ != CJ)
        LastSquare = KnownSquare{CI, CJ, RingSquares(CI, CJ).back(), true};
    // Tile numbers times the tile size in double: at the grid's edges they leave int32.
    const RingSquare& outer = LastSquare.outer;
    const double s = outer.s;
    return gridRow >= static_cast<double>(outer.firstRow) * s && gridRow < static_cast<double>(outer.lastRow + 1) * s &&
           gridColumn >= static_cast<double>(outer.firstColumn) * s && gridColumn < static_cast<double>(outer.lastColumn + 1) * s;
}

} // namespace

TerrainClearance HeightAboveTerrain(const MapFrameValues& frame, const SampleRow& row, DrawnTerrain terrain)
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
    const bool paged = terrain == DrawnTerrain::Paged;
    if (!paged && !InsideTheRings(frame.CI, frame.CJ, gridRow, gridColumn))
        return clearance;
    const TerrainHeight ground = TerrainHeightAtGrid(gridRow, gridColumn, paged ? TileReports::Quiet : TileReports::Loud);
    if (!ground.covered)
        return clearance;
    clearance.terrain = ground.metres;
    clearance.height = row.gps_curalt - ground.metres;
    clearance.covered = true;
    return clearance;
}
