#pragma once
#include <cstdint>

#include <osg/Geometry>

#include "terrain/PatchTemplates.h"

// Fills an empty geometry with the vertices, texture coordinates and triangle strip of one
// patch: template t placed on the tile whose north-west corner is zoom-18 grid point
// (originRow, originCol), s zoom-18 tiles on a side. Returns 0.
int32_t BuildPatch(osg::Geometry* geometry, int32_t CI, int32_t CJ, int32_t originRow, int32_t originCol, int32_t s, const PatchTemplate& t, int32_t mode);
