#pragma once
#include <cstdint>

// The mesh of one patch in the unit square of its tile: x southwards (rows), y eastwards
// (columns); texture coordinates are (y, 1 - x).
struct PatchTemplate
{
    int32_t vertexCount;
    int32_t indexCount;
    const double (*positions)[2];
    const double (*texCoords)[2];
    const int32_t* indices; // triangle-strip order
};

extern const PatchTemplate FineTileTemplate;
extern const PatchTemplate FullTileTemplate;
extern const PatchTemplate MidSouthTemplate;
extern const PatchTemplate MidNorthTemplate;
extern const PatchTemplate MidWestTemplate;
extern const PatchTemplate MidEastTemplate;
extern const PatchTemplate HalfNorthTemplate;
extern const PatchTemplate HalfSouthTemplate;
extern const PatchTemplate HalfWestTemplate;
extern const PatchTemplate HalfEastTemplate;
extern const PatchTemplate NotchSouthEastTemplate;
extern const PatchTemplate NotchNorthEastTemplate;
extern const PatchTemplate NotchNorthWestTemplate;
extern const PatchTemplate NotchSouthWestTemplate;

// Class of a ring offset -3 .. 3: 0 for +-3, 1 for -2, 2 for -1 .. 1, 3 for +2.
int32_t RingClass(int32_t offset);

// [row class][column class][P][Q]: the coarse-level template, or null for the inner tiles.
extern const PatchTemplate* const TransitionTable[4][4][2][2];

// How a patch is built from its template: at the finest level the centre vertex is not
// looked up (BuildPatch).
enum PatchMode : int32_t
{
    CoarsePatch = 0,
    FinestPatch = 1,
};

// Grid coordinate of a template vertex at template coordinate t (0, 0.5 or 1) on a tile
// whose corner is `origin`, s zoom-18 tiles wide: origin + trunc(s * t). Outside the grid
// it is -1, which the elevation store reads as 0 without a file.
int32_t ElevationGridCoordinate(int32_t origin, int32_t s, double t);

// The same for a column, except that a column past the grid's ends (rings reaching across
// the 180th meridian) is the same place a whole turn round, and reads its height there.
int32_t ElevationGridColumn(int32_t origin, int32_t s, double t);

// How many of the template's vertices, from the first, take their height from the store:
// all of them, or all but the last (the centre) at the finest level.
int32_t LookedUpVertexCount(const PatchTemplate& t, int32_t mode);
