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
