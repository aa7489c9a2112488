#include "check/HeightAboveTerrain.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geo/MapFrame.h"
#include "log/SampleTable.h"
#include "terrain/RingTiles.h"
#include "terrain/TerrainHeight.h"

namespace
{

// The zoom-18 grid square the terrain rings cover around a frame tile, as half-open ranges.
struct DrawnSquare
{
    int32_t CI = 0;
    int32_t CJ = 0;
    double firstRow = 0.0;
    double endRow = 0.0;
    double firstColumn = 0.0;
    double endColumn = 0.0;
    bool known = false;
};

// Worked out for the frame of the last call and kept: the frame is fixed once per run, and
// 249 patches per sample would cost more than the height itself.
DrawnSquare LastSquare;

const DrawnSquare& DrawnSquareAround(int32_t CI, int32_t CJ)
{
    if (LastSquare.known && LastSquare.CI == CI && LastSquare.CJ == CJ)
        return LastSquare;
    DrawnSquare square;
    square.CI = CI;
    square.CJ = CJ;
    // Tile numbers times the tile size in double: at the grid's edges they leave int32.
    const RingSquare outer = RingSquares(CI, CJ).back();
    square.firstRow = static_cast<double>(outer.firstRow) * outer.s;
    square.endRow = static_cast<double>(outer.lastRow + 1) * outer.s;
    square.firstColumn = static_cast<double>(outer.firstColumn) * outer.s;
    square.endColumn = static_cast<double>(outer.lastColumn + 1) * outer.s;
    square.known = true;
    LastSquare = square;
    return LastSquare;
}

} // namespace

TerrainClearance HeightAboveTerrain(const SampleRow& row)
{
    TerrainClearance clearance;
    const double latitude = row.gps_curlat / 60.0;
    const double longitude = row.gps_curlon / 60.0;
    // Beyond the poles or the date line the projection folds back onto real places.
    if (!(std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0))
        return clearance;
    const double gridRow = MercatorY(latitude) * TileScale;
    const double gridColumn = LongitudeX(longitude) * TileScale;
    const DrawnSquare& drawn = DrawnSquareAround(MapFrame.CI, MapFrame.CJ);
    // Outside the rings the replay draws nothing; its tiles are not even read there.
    if (!(gridRow >= drawn.firstRow && gridRow < drawn.endRow && gridColumn >= drawn.firstColumn && gridColumn < drawn.endColumn))
        return clearance;
    const TerrainHeight ground = TerrainHeightAtGrid(gridRow, gridColumn);
    if (!ground.covered)
        return clearance;
    clearance.terrain = ground.metres;
    clearance.height = row.gps_curalt - ground.metres;
    clearance.covered = true;
    return clearance;
}
