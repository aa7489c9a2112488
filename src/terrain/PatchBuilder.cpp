#include "terrain/PatchBuilder.h"

#include <osg/Array>
#include <osg/PrimitiveSet>

#include "geo/MapFrame.h"
#include "terrain/ElevationTileStore.h"

int32_t BuildPatch(osg::Geometry* geometry, int32_t CI, int32_t CJ, int32_t originRow, int32_t originCol, int32_t s, const PatchTemplate& t, int32_t mode)
{
    osg::ref_ptr<osg::Vec3Array> positions = new osg::Vec3Array(t.vertexCount);
    osg::ref_ptr<osg::Vec2Array> texCoords = new osg::Vec2Array(t.vertexCount);
    const double rowBase = static_cast<double>(originRow) - CI;
    const double colBase = static_cast<double>(originCol) - CJ;

    // Finest level: heights as they are; the centre, which has no sample of its own, takes
    // the mean of the others. Coarse levels: every vertex looked up, and lowered by the
    // Earth's curvature so the outer rings bend away like the real horizon.
    const bool finest = mode == FinestPatch;
    const int32_t lookedUp = LookedUpVertexCount(t, mode);
    double sum = 0.0;
    for (int32_t p = 0; p < t.vertexCount; ++p)
    {
        const double rowOffset = rowBase + s * t.positions[p][0];
        const double colOffset = colBase + s * t.positions[p][1];
        double z;
        if (p < lookedUp)
        {
            const double h = ElevationLookup(ElevationGridCoordinate(originRow, s, t.positions[p][0]), ElevationGridColumn(originCol, s, t.positions[p][1]));
            sum += h;
            z = finest ? MapFrame.k * h : MapFrame.k * h - CurvatureDrop(rowOffset, colOffset);
        }
        else
        {
            z = MapFrame.k * (sum / (t.vertexCount - 1));
        }
        (*positions)[p].set(static_cast<float>(rowOffset), static_cast<float>(colOffset), static_cast<float>(z));
        (*texCoords)[p].set(static_cast<float>(t.texCoords[p][0]), static_cast<float>(t.texCoords[p][1]));
    }

    geometry->setVertexArray(positions.get());
    geometry->setTexCoordArray(0, texCoords.get());

    osg::ref_ptr<osg::DrawElementsUShort> strip = new osg::DrawElementsUShort(GL_TRIANGLE_STRIP);
    strip->reserve(t.indexCount);
    for (int32_t n = 0; n < t.indexCount; ++n)
        strip->push_back(static_cast<unsigned short>(t.indices[n]));
    geometry->addPrimitiveSet(strip.get());
    return 0;
}
