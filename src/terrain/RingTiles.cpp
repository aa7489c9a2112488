#include "terrain/RingTiles.h"

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

#include "terrain/PatchTemplates.h"

namespace
{

const int32_t RingReach = 3; // patches from the centre tile on each side: 7 x 7 per level

// Halving that rounds down, so that a coarser centre still holds the finer one when the
// tile numbers are negative (near the 180th meridian or beyond the Mercator limits).
int64_t HalveDown(int64_t value)
{
    return value >= 0 ? value / 2 : -((1 - value) / 2);
}

// 0 or 1, also for negative tile numbers, where % would give -1.
int32_t Parity(int64_t value)
{
    return static_cast<int32_t>(value - 2 * HalveDown(value));
}

// Zoom-18 corner of a tile as BuildPatch takes it. Tile numbers are kept in 64 bits because
// a map frame at the very edge of the int32 range (a centre at a pole) would overflow them;
// such corners lie far outside the grid either way.
int32_t GridCorner(int64_t tile, int32_t s)
{
    const int64_t corner = tile * s;
    if (corner > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (corner < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(corner);
}

} // namespace

void VisitTerrainPatches(int32_t CI, int32_t CJ, const std::function<void(const TerrainPatch&)>& visit)
{
    int32_t s = 1;
    int64_t ci = CI;
    int64_t cj = CJ;
    int32_t P = 0;
    int32_t Q = 0;

    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        for (int32_t i = -RingReach; i <= RingReach; ++i)
        {
            for (int32_t j = -RingReach; j <= RingReach; ++j)
            {
                // The finer levels already cover the inner 3 x 3 of every coarser one.
                if (s >= 2 && i >= -1 && i <= 1 && j >= -1 && j <= 1)
                    continue;

                const int64_t ti = ci + i;
                const int64_t tj = cj + j;
                const PatchTemplate* patch = s == 1 ? &FineTileTemplate : TransitionTable[RingClass(i)][RingClass(j)][P][Q];
                if (!patch)
                    continue;
                visit(TerrainPatch{level, ti, tj, s, GridCorner(ti, s), GridCorner(tj, s), patch, s == 1 ? FinestPatch : CoarsePatch});
            }
        }

        // This level's centre parities pick the next level's transition templates.
        P = Parity(ci);
        Q = Parity(cj);
        s *= 2;
        ci = HalveDown(ci);
        cj = HalveDown(cj);
    }
}

std::vector<GridPoint> PatchGridPoints(const TerrainPatch& patch)
{
    const PatchTemplate& t = *patch.patchTemplate;
    std::vector<GridPoint> points;
    for (int32_t p = 0; p < LookedUpVertexCount(t, patch.mode); ++p)
        points.push_back(GridPoint{ElevationGridCoordinate(patch.originRow, patch.s, t.positions[p][0]), ElevationGridColumn(patch.originCol, patch.s, t.positions[p][1])});
    return points;
}

void VisitRingFiles(int32_t CI, int32_t CJ, const std::function<void(const TerrainPatch&, const std::vector<ElevationTileId>&)>& visit)
{
    std::set<std::pair<int32_t, int32_t>> seen;
    std::vector<ElevationTileId> firstRead;
    VisitTerrainPatches(CI, CJ, [&](const TerrainPatch& patch) {
        firstRead.clear();
        for (const GridPoint& point : PatchGridPoints(patch))
        {
            // Points off the grid lie in no tile: the store answers 0 without a file.
            if (point.row < 0 || point.column < 0)
                continue;
            const int32_t tileRow = point.row / ElevationTileSize;
            const int32_t tileColumn = point.column / ElevationTileSize;
            if (seen.insert({tileRow, tileColumn}).second)
                firstRead.push_back(ElevationTileId{tileRow, tileColumn});
        }
        visit(patch, firstRead);
    });
}

std::vector<ElevationTileId> RingElevationTiles(int32_t CI, int32_t CJ)
{
    std::vector<ElevationTileId> tiles;
    VisitRingFiles(CI, CJ, [&](const TerrainPatch&, const std::vector<ElevationTileId>& firstRead) { tiles.insert(tiles.end(), firstRead.begin(), firstRead.end()); });
    return tiles;
}

std::vector<ImageryTileId> RingImageryTiles(int32_t CI, int32_t CJ)
{
    std::vector<ImageryTileId> tiles;
    VisitTerrainPatches(CI, CJ, [&](const TerrainPatch& patch) { tiles.push_back(ImageryTileId{patch.level, patch.tileRow, patch.tileColumn}); });
    return tiles;
}

std::vector<RingSquare> RingSquares(int32_t CI, int32_t CJ)
{
    std::vector<RingSquare> squares;
    VisitTerrainPatches(CI, CJ, [&squares](const TerrainPatch& patch) {
        if (squares.empty() || squares.back().level != patch.level)
            squares.push_back(RingSquare{patch.level, patch.s, patch.tileRow, patch.tileRow, patch.tileColumn, patch.tileColumn});
        RingSquare& square = squares.back();
        square.firstRow = std::min(square.firstRow, patch.tileRow);
        square.lastRow = std::max(square.lastRow, patch.tileRow);
        square.firstColumn = std::min(square.firstColumn, patch.tileColumn);
        square.lastColumn = std::max(square.lastColumn, patch.tileColumn);
    });
    return squares;
}
