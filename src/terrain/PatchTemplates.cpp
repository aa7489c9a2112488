#include "terrain/PatchTemplates.h"

#include "geo/MapProjection.h"

// The fourteen patch meshes and the table that picks one for each coarse-level patch.
// Positions are (x southwards, y eastwards) in the unit square of the patch's tile; every
// texture coordinate is (y, 1 - x) of its position, so the tile image spans the square with
// its north edge at v = 1. The strips are used exactly as listed, including the triangles
// some of them draw twice and the degenerate run 4 5 4 of the mid-south strip.

namespace
{

const double FineTilePositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}};
const double FineTileTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}};
const int32_t FineTileIndices[] = {0, 1, 4, 2, 3, 4, 0};

const double FullTilePositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}};
const double FullTileTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}};
const int32_t FullTileIndices[] = {0, 1, 4, 2, 3, 4, 0};

const double MidSouthPositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}, {1.0, 0.5}};
const double MidSouthTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {0.5, 0.0}};
const int32_t MidSouthIndices[] = {0, 1, 4, 5, 4, 2, 3, 4, 0};

const double MidNorthPositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}, {0.0, 0.5}};
const double MidNorthTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {0.5, 1.0}};
const int32_t MidNorthIndices[] = {0, 1, 4, 2, 3, 4, 5, 0};

const double MidWestPositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}, {0.5, 0.0}};
const double MidWestTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {0.0, 0.5}};
const int32_t MidWestIndices[] = {3, 0, 4, 5, 1, 4, 2, 3};

const double MidEastPositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}, {0.5, 1.0}};
const double MidEastTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {1.0, 0.5}};
const int32_t MidEastIndices[] = {0, 1, 4, 2, 5, 4, 3, 0};

const double HalfNorthPositions[][2] = {{0.0, 0.0}, {0.5, 0.0}, {0.5, 1.0}, {0.0, 1.0}, {0.5, 0.5}};
const double HalfNorthTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.5}, {1.0, 0.5}, {1.0, 1.0}, {0.5, 0.5}};
const int32_t HalfNorthIndices[] = {1, 0, 4, 3, 2};

const double HalfSouthPositions[][2] = {{0.5, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 1.0}, {0.5, 0.5}};
const double HalfSouthTexCoords[][2] = {{0.0, 0.5}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 0.5}, {0.5, 0.5}};
const int32_t HalfSouthIndices[] = {0, 1, 4, 2, 3, 0};

const double HalfWestPositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 0.5}, {0.0, 0.5}, {0.5, 0.5}};
const double HalfWestTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {0.5, 0.0}, {0.5, 1.0}, {0.5, 0.5}};
const int32_t HalfWestIndices[] = {3, 0, 4, 1, 2};

const double HalfEastPositions[][2] = {{0.0, 0.5}, {1.0, 0.5}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}};
const double HalfEastTexCoords[][2] = {{0.5, 1.0}, {0.5, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}};
const int32_t HalfEastIndices[] = {0, 3, 4, 2, 1};

const double NotchSouthEastPositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 0.5}, {0.0, 1.0}, {0.5, 0.5}, {0.5, 1.0}};
const double NotchSouthEastTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {0.5, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {1.0, 0.5}};
const int32_t NotchSouthEastIndices[] = {5, 3, 4, 0, 1, 4, 2};

const double NotchNorthEastPositions[][2] = {{0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 1.0}, {0.5, 0.5}, {0.0, 0.5}};
const double NotchNorthEastTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 0.5}, {0.5, 0.5}, {0.5, 1.0}};
const int32_t NotchNorthEastIndices[] = {5, 0, 4, 1, 2, 4, 3};

const double NotchNorthWestPositions[][2] = {{0.5, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}, {0.0, 0.5}};
const double NotchNorthWestTexCoords[][2] = {{0.0, 0.5}, {0.0, 0.0}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {0.5, 1.0}};
const int32_t NotchNorthWestIndices[] = {0, 1, 4, 2, 3, 4, 5};

const double NotchSouthWestPositions[][2] = {{0.0, 0.0}, {0.5, 0.0}, {1.0, 1.0}, {0.0, 1.0}, {0.5, 0.5}, {1.0, 0.5}};
const double NotchSouthWestTexCoords[][2] = {{0.0, 1.0}, {0.0, 0.5}, {1.0, 0.0}, {1.0, 1.0}, {0.5, 0.5}, {0.5, 0.0}};
const int32_t NotchSouthWestIndices[] = {1, 0, 4, 3, 2, 4, 5};

} // namespace

// The finest level's template; its centre is the last vertex, which the patch builder gives
// the mean height of the corners. The full-tile template has the same contents.
const PatchTemplate FineTileTemplate = {5, 7, FineTilePositions, FineTileTexCoords, FineTileIndices};
const PatchTemplate FullTileTemplate = {5, 7, FullTilePositions, FullTileTexCoords, FullTileIndices};
// A Mid template covers the whole tile with an extra vertex on the middle of the named edge,
// a Half template the named half, a Notch template the tile without the named quarter.
const PatchTemplate MidSouthTemplate = {6, 9, MidSouthPositions, MidSouthTexCoords, MidSouthIndices};
const PatchTemplate MidNorthTemplate = {6, 8, MidNorthPositions, MidNorthTexCoords, MidNorthIndices};
const PatchTemplate MidWestTemplate = {6, 8, MidWestPositions, MidWestTexCoords, MidWestIndices};
const PatchTemplate MidEastTemplate = {6, 8, MidEastPositions, MidEastTexCoords, MidEastIndices};
const PatchTemplate HalfNorthTemplate = {5, 5, HalfNorthPositions, HalfNorthTexCoords, HalfNorthIndices};
const PatchTemplate HalfSouthTemplate = {5, 6, HalfSouthPositions, HalfSouthTexCoords, HalfSouthIndices};
const PatchTemplate HalfWestTemplate = {5, 5, HalfWestPositions, HalfWestTexCoords, HalfWestIndices};
const PatchTemplate HalfEastTemplate = {5, 5, HalfEastPositions, HalfEastTexCoords, HalfEastIndices};
const PatchTemplate NotchSouthEastTemplate = {6, 7, NotchSouthEastPositions, NotchSouthEastTexCoords, NotchSouthEastIndices};
const PatchTemplate NotchNorthEastTemplate = {6, 7, NotchNorthEastPositions, NotchNorthEastTexCoords, NotchNorthEastIndices};
const PatchTemplate NotchNorthWestTemplate = {6, 7, NotchNorthWestPositions, NotchNorthWestTexCoords, NotchNorthWestIndices};
const PatchTemplate NotchSouthWestTemplate = {6, 7, NotchSouthWestPositions, NotchSouthWestTexCoords, NotchSouthWestIndices};

int32_t RingClass(int32_t offset)
{
    switch (offset)
    {
    case -2:
        return 1;
    case -1:
    case 0:
    case 1:
        return 2;
    case 2:
        return 3;
    default:
        return 0; // +-3: the outer ring, which the finer level never reaches
    }
}

// The finer level covers rows -1.5 .. 2 (P = 0) or -1 .. 2.5 (P = 1) of the coarse level,
// measured from its centre tile, and columns likewise with Q. Each entry is the template
// that covers exactly the part of the patch's tile outside that block, with extra vertices
// wherever the finer tiles' corners meet the patch's border. Class 2 on both axes is the
// inner 3 x 3, which only the finer levels build.
const PatchTemplate* const TransitionTable[4][4][2][2] = {
    // row class 0 (offset +-3): the finer level is out of reach
    {
        {{&FullTileTemplate, &FullTileTemplate}, {&FullTileTemplate, &FullTileTemplate}},
        {{&FullTileTemplate, &FullTileTemplate}, {&FullTileTemplate, &FullTileTemplate}},
        {{&FullTileTemplate, &FullTileTemplate}, {&FullTileTemplate, &FullTileTemplate}},
        {{&FullTileTemplate, &FullTileTemplate}, {&FullTileTemplate, &FullTileTemplate}},
    },
    // row class 1 (offset -2): the finer level covers the south half (P = 0) or touches the south edge
    {
        {{&FullTileTemplate, &FullTileTemplate}, {&FullTileTemplate, &FullTileTemplate}},
        {{&NotchSouthEastTemplate, &MidEastTemplate}, {&MidSouthTemplate, &FullTileTemplate}},
        {{&HalfNorthTemplate, &HalfNorthTemplate}, {&MidSouthTemplate, &MidSouthTemplate}},
        {{&MidWestTemplate, &NotchSouthWestTemplate}, {&FullTileTemplate, &MidSouthTemplate}},
    },
    // row class 2 (offsets -1 .. 1): the finer level spans the tile's rows
    {
        {{&FullTileTemplate, &FullTileTemplate}, {&FullTileTemplate, &FullTileTemplate}},
        {{&HalfWestTemplate, &MidEastTemplate}, {&HalfWestTemplate, &MidEastTemplate}},
        {{nullptr, nullptr}, {nullptr, nullptr}},
        {{&MidWestTemplate, &HalfEastTemplate}, {&MidWestTemplate, &HalfEastTemplate}},
    },
    // row class 3 (offset +2): the finer level touches the north edge (P = 0) or covers the north half
    {
        {{&FullTileTemplate, &FullTileTemplate}, {&FullTileTemplate, &FullTileTemplate}},
        {{&MidNorthTemplate, &FullTileTemplate}, {&NotchNorthEastTemplate, &MidEastTemplate}},
        {{&MidNorthTemplate, &MidNorthTemplate}, {&HalfSouthTemplate, &HalfSouthTemplate}},
        {{&FullTileTemplate, &MidNorthTemplate}, {&MidWestTemplate, &NotchNorthWestTemplate}},
    },
};

// The tile corner plus the whole zoom-18 tiles the vertex lies from it (the products are
// never negative). Worked out in 64 bits, since a ring at the very edge of the int32 range
// could overflow; anything outside the grid is passed on as -1, which the store reads as 0
// like any other point outside.
int32_t ElevationGridCoordinate(int32_t origin, int32_t s, double t)
{
    const int64_t value = static_cast<int64_t>(origin) + static_cast<int64_t>(s * t);
    return value < 0 || value >= TileScale ? -1 : static_cast<int32_t>(value);
}

int32_t ElevationGridColumn(int32_t origin, int32_t s, double t)
{
    const int64_t value = (static_cast<int64_t>(origin) + static_cast<int64_t>(s * t)) % TileScale;
    return static_cast<int32_t>(value < 0 ? value + TileScale : value);
}

int32_t LookedUpVertexCount(const PatchTemplate& t, int32_t mode)
{
    return mode == FinestPatch ? t.vertexCount - 1 : t.vertexCount;
}
