#pragma once
#include <cstdint>

#include <osg/Geometry>

#include "terrain/PatchTemplates.h"

enum PatchMode : int32_t
{
    CoarsePatch = 0,
    FinestPatch = 1,
};

// Grid coordinate of a template vertex at template coordinate t (0, 0.5 or 1) on a tile
// whose corner is `origin`, s zoom-18 tiles wide: origin + trunc(s * t). Outside the grid
// it is -1, which the elevation store reads as 0 without a file.
int32_t ElevationGridCoordinate(int32_t origin, int32_t s, double t);

// How many of the template's vertices, from the first, take their height from the store:
// all of them, or all but the last (the centre) at the finest level.
int32_t LookedUpVertexCount(const PatchTemplate& t, int32_t mode);

// Fills an empty geometry with the vertices, texture coordinates and triangle strip of one
// patch: template t placed on the tile whose north-west corner is zoom-18 grid point
// (originRow, originCol), s zoom-18 tiles on a side. Returns 0.
int32_t BuildPatch(osg::Geometry* geometry, int32_t CI, int32_t CJ, int32_t originRow, int32_t originCol, int32_t s, const PatchTemplate& t, int32_t mode);
