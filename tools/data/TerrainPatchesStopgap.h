#pragma once
// Stand-in for the ring enumeration until the terrain rings land.
#include <cstdint>
#include <functional>

struct PatchTemplate;

struct TerrainPatch
{
    int32_t level;
    int32_t tileRow;
    int32_t tileColumn;
    int32_t s;
    const PatchTemplate* patchTemplate;
};

void VisitTerrainPatches(int32_t CI, int32_t CJ, const std::function<void(const TerrainPatch&)>& visit);
