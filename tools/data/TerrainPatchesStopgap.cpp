#include "TerrainPatchesStopgap.h"

void VisitTerrainPatches(int32_t CI, int32_t CJ, const std::function<void(const TerrainPatch&)>& visit)
{
    int32_t s = 1, ci = CI, cj = CJ;
    for (int32_t level = 18; level > 12; --level)
    {
        for (int32_t i = -3; i <= 3; ++i)
            for (int32_t j = -3; j <= 3; ++j)
            {
                if (s >= 2 && i >= -1 && i <= 1 && j >= -1 && j <= 1)
                    continue;
                visit(TerrainPatch{level, ci + i, cj + j, s, nullptr});
            }
        s *= 2;
        ci /= 2;
        cj /= 2;
    }
}
