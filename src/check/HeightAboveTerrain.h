#pragma once
#include "geo/MapProjection.h"
#include "plan/FlightPlan.h"
#include "terrain/RingTiles.h"

struct SampleRow;

// How high one sample flies above the ground the replay draws under it. The player's
// heads-up display and the flight check both take it from here, so they cannot disagree.
struct TerrainClearance
{
    double terrain = 0.0; // metres above sea level of the drawn ground; 0 where not covered
    double height = 0.0;  // gps_curalt minus terrain, metres; meaningful only when covered
    bool covered = false; // the replay draws ground there from elevation tiles it could load
};

// The clearance of a sample under the replay's rings around `frame`'s tile. The ground is
// TerrainHeightAt (terrain/TerrainHeight.h) at the sample's position, exact on the finest
// level; the coarser rings further out draw a simplification of the same heights. The sample
// is covered when the four grid points around it lie in tiles that could be loaded and it
// lies within the rings the terrain draws around the frame's tile. A position that is not
// finite or lies off the grid is not covered. Reads tiles as the store does (a missing one
// is reported once on stdout).
//
// The player draws its own terrain (terrain/PagedTerrain.h), under the whole flight: for it the
// sample is covered wherever the elevation tiles are, and missing tiles are not reported.
enum class DrawnTerrain
{
    Rings,
    Paged,
};

// The ground a flight is measured over, worked out once for all its samples: the kind, and
// for the rings the outermost square they draw.
struct DrawnGround
{
    DrawnTerrain terrain = DrawnTerrain::Paged;
    RingSquare outer = {};
};
DrawnGround RingsAround(const MapFrameValues& frame);
DrawnGround PagedGround();

TerrainClearance HeightAboveTerrain(const DrawnGround& ground, const SampleRow& row);

// The drawn ground as the plan's height function: the ground's height above sea level at a
// place, NaN where the drawn terrain does not cover it.
GroundHeight GroundHeightOf(const DrawnGround& ground);
