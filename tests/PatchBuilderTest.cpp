#include <osg/Geometry>
#include <osg/io_utils>

#include "support/TerrainTestSupport.h"
#include "geo/MapFrame.h"
#include "terrain/PatchBuilder.h"

namespace
{

class PatchBuilderTest : public TerrainFixture
{
protected:
    void SetUp() override
    {
        TerrainFixture::SetUp();
        MapFrame = {1024 + 500, 2048 + 700, 1.0 / 152.7};
        WriteDistinctTile(1, 2);
    }

    // Builds the patch and checks what does not depend on heights: positions, texture
    // coordinates and the strip. Returns the vertices.
    osg::ref_ptr<osg::Vec3Array> Build(int32_t row, int32_t col, int32_t s, const PatchTemplate& t, int32_t mode)
    {
        osg::ref_ptr<osg::Geometry> g = new osg::Geometry;
        EXPECT_EQ(BuildPatch(g.get(), MapFrame.CI, MapFrame.CJ, row, col, s, t, mode), 0);
        auto* v = dynamic_cast<osg::Vec3Array*>(g->getVertexArray());
        const auto* uv = dynamic_cast<const osg::Vec2Array*>(g->getTexCoordArray(0));
        const auto* strip = dynamic_cast<const osg::DrawElementsUShort*>(g->getPrimitiveSet(0));
        if (!v || !uv || !strip || v->size() != static_cast<size_t>(t.vertexCount) || uv->size() != v->size())
        {
            ADD_FAILURE() << "arrays missing or of the wrong size";
            return new osg::Vec3Array(t.vertexCount);
        }
        EXPECT_EQ(strip->getMode(), static_cast<GLenum>(GL_TRIANGLE_STRIP));
        EXPECT_EQ(std::vector<int32_t>(strip->begin(), strip->end()), std::vector<int32_t>(t.indices, t.indices + t.indexCount));
        for (int32_t p = 0; p < t.vertexCount; ++p)
        {
            EXPECT_EQ(osg::Vec2((*v)[p].x(), (*v)[p].y()), osg::Vec2(row - MapFrame.CI + s * t.positions[p][0], col - MapFrame.CJ + s * t.positions[p][1]));
            EXPECT_EQ((*uv)[p], osg::Vec2(t.texCoords[p][0], t.texCoords[p][1]));
        }
        return v;
    }
};

} // namespace

TEST_F(PatchBuilderTest, FinestCentreTakesMeanOfCornersWithoutCurvature)
{
    // The four corners all differ, and none equals their mean, so a looked-up centre shows.
    const int32_t row = MapFrame.CI + 5;
    const int32_t col = MapFrame.CJ - 4;
    osg::ref_ptr<osg::Vec3Array> v = Build(row, col, 1, FineTileTemplate, FinestPatch);
    const int32_t corners[4][2] = {{row, col}, {row + 1, col}, {row + 1, col + 1}, {row, col + 1}};
    double sum = 0.0;
    for (int32_t p = 0; p < 4; ++p)
    {
        sum += GridHeight(corners[p][0], corners[p][1]);
        EXPECT_EQ((*v)[p].z(), static_cast<float>(MapFrame.k * GridHeight(corners[p][0], corners[p][1])));
    }
    ASSERT_NE(sum / 4, GridHeight(row, col));
    EXPECT_FLOAT_EQ((*v)[4].z(), static_cast<float>(MapFrame.k * (sum / 4)));
}

TEST_F(PatchBuilderTest, CoarseVerticesAreLookedUpAndLoweredByCurvature)
{
    // Any mode but the finest is coarse. The mid-south template has a vertex at a half tile.
    for (const int32_t mode : {static_cast<int32_t>(CoarsePatch), 7})
        for (const int32_t s : {2, 32})
        {
            const int32_t row = (MapFrame.CI / s + 2) * s;
            const int32_t col = (MapFrame.CJ / s - 3) * s;
            osg::ref_ptr<osg::Vec3Array> v = Build(row, col, s, MidSouthTemplate, mode);
            for (int32_t p = 0; p < 6; ++p)
            {
                const double x = MidSouthTemplate.positions[p][0] * s;
                const double y = MidSouthTemplate.positions[p][1] * s;
                const double h = GridHeight(row + static_cast<int32_t>(x), col + static_cast<int32_t>(y));
                EXPECT_EQ((*v)[p].z(), static_cast<float>(MapFrame.k * h - CurvatureDrop(row - MapFrame.CI + x, col - MapFrame.CJ + y))) << mode << " " << s << " " << p;
            }
        }
}

TEST_F(PatchBuilderTest, CoarseVertexOverMissingTileLiesBelowZeroByTheDrop)
{
    const int32_t row = 4 * 1024; // tile (4, 2) was not written
    BeginCapture();
    osg::ref_ptr<osg::Vec3Array> v = Build(row, MapFrame.CJ, 8, FullTileTemplate, CoarsePatch);
    EXPECT_EQ(EndCapture(), "Not open egm 'zsi-4-2.egm'\n");
    EXPECT_EQ((*v)[4].z(), static_cast<float>(-CurvatureDrop(row - MapFrame.CI + 4, 4)));
    EXPECT_LT((*v)[4].z(), 0.0f);
}
