#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "geo/ReplayFiles.h"
#include "terrain/PatchTemplates.h"

// What the terrain rings are made of, without building them: their patches, the grid points
// and files they read, and the squares they cover. The terrain builds from this enumeration,
// and the data tool, the demo-world generator, the flight check and the tests list the same
// patches and files with it, so none of them can disagree with what is drawn.

// One patch of the rings: the tile of its level that it drapes and the mesh it is built from.
struct TerrainPatch
{
    int32_t level;      // zoom level, 18 down to 13
    int64_t tileRow;    // tile row at that level (64-bit: at the grid's edges it leaves int32)
    int64_t tileColumn; // tile column at that level
    int32_t s;          // zoom-18 tiles per tile side: 1, 2, 4, 8, 16 or 32
    int32_t originRow;  // zoom-18 grid corner of the tile, as BuildPatch takes it
    int32_t originCol;
    const PatchTemplate* patchTemplate;
    int32_t mode;       // PatchMode for BuildPatch
};

// Calls `visit` for each of the 249 patches around the map-frame tile (CI, CJ), in the order
// BuildTerrain builds them. The data tool lists the files the replay reads with it.
void VisitTerrainPatches(int32_t CI, int32_t CJ, const std::function<void(const TerrainPatch&)>& visit);

// A zoom-18 grid point: row from the north (-1 off the grid), column from 180 degrees west
// (on the grid: one past its ends is read a whole turn round).
struct GridPoint
{
    int32_t row;
    int32_t column;
};

// The grid points whose heights the patch's vertices take, in the order BuildPatch looks
// them up.
std::vector<GridPoint> PatchGridPoints(const TerrainPatch& patch);

// Calls `visit` for each patch in build order, with the elevation tiles the terrain reads
// first for that patch (each tile once over the whole rings, none off the grid).
void VisitRingFiles(int32_t CI, int32_t CJ, const std::function<void(const TerrainPatch&, const std::vector<ElevationTileId>&)>& visit);

// The elevation tiles the rings around (CI, CJ) read, each once, in the order the terrain
// first reads them.
std::vector<ElevationTileId> RingElevationTiles(int32_t CI, int32_t CJ);

// The square one level's patches cover: tile numbers at that level, bounds inclusive, and
// the level's tile size in zoom-18 tiles.
struct RingSquare
{
    int32_t level;
    int32_t s;
    int64_t firstRow;
    int64_t lastRow;
    int64_t firstColumn;
    int64_t lastColumn;
};

// The squares of the six levels around (CI, CJ), finest first, from the patches the terrain
// builds, so they cannot disagree with them. The last is the extent of the whole terrain.
std::vector<RingSquare> RingSquares(int32_t CI, int32_t CJ);

// The 249 imagery tiles the rings drape, in the order the terrain builds them.
std::vector<ImageryTileId> RingImageryTiles(int32_t CI, int32_t CJ);
