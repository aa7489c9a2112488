#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/PagedLOD>
#include <osg/Texture2D>

#include "support/TerrainTestSupport.h"
#include "geo/MapProjection.h"
#include "support/SceneFiles.h"
#include "terrain/PagedTerrain.h"

namespace
{

// The map frame in elevation tile (88, 135), away from its edges.
const int64_t Row18 = 88 * 1024 + 400;
const int64_t Column18 = 135 * 1024 + 600;

class PagedTerrainTest : public TerrainFixture
{
protected:
    const MapFrameValues frame = MapFrameOn(GridRowLatitude(Row18 + 0.5), GridColumnLongitude(Column18 + 0.5));

    static std::string Name(char kind, int level, int64_t row, int64_t column)
    {
        return std::string(1, kind) + "_" + std::to_string(level) + "_" + std::to_string(row) + "_" + std::to_string(column) + ".frtile";
    }

    static const osg::Geometry& MeshOf(const osg::Node* node)
    {
        const osg::Geode* geode = node->asGeode();
        if (!geode)
            geode = node->asGroup()->getChild(0)->asGeode();
        return *geode->getDrawable(0)->asGeometry();
    }

    static const osg::Vec3Array& Vertices(const osg::Node* node)
    {
        return *static_cast<const osg::Vec3Array*>(MeshOf(node).getVertexArray());
    }

    static osg::Vec4 TexelOf(const osg::Node* node, double east, double north)
    {
        const osg::Image* image = static_cast<const osg::Texture2D*>(MeshOf(node).getStateSet()->getTextureAttribute(0, osg::StateAttribute::TEXTURE))->getImage();
        return image->getColor(osg::Vec2(static_cast<float>(east), static_cast<float>(north)));
    }
};

TEST_F(PagedTerrainTest, TilesStandOnTheStoredHeightsAndSplitIntoTheirQuarters)
{
    WriteDistinctTile(88, 135);
    const int64_t row17 = Row18 / 2;
    const int64_t column17 = Column18 / 2;
    osg::ref_ptr<osg::Node> tile = BuildTerrainTile(Name('t', 17, row17, column17), frame);
    ASSERT_TRUE(tile);
    const osg::PagedLOD* lod = dynamic_cast<const osg::PagedLOD*>(tile.get());
    ASSERT_TRUE(lod);
    EXPECT_EQ(lod->getFileName(1), Name('k', 17, row17, column17));
    EXPECT_FLOAT_EQ(lod->getMaxRange(1), static_cast<float>(TileRefineDistance * 2));

    // Its 3 x 3 grid points first, each on the stored height, the skirt below them all.
    const osg::Vec3Array& v = Vertices(tile.get());
    ASSERT_GT(v.size(), 9u);
    for (size_t n = 0; n < 9; ++n)
    {
        const int64_t row = 2 * row17 + static_cast<int64_t>(n / 3);
        const int64_t column = 2 * column17 + static_cast<int64_t>(n % 3);
        EXPECT_FLOAT_EQ(v[n].x(), static_cast<float>(row - frame.CI)) << n;
        EXPECT_FLOAT_EQ(v[n].y(), static_cast<float>(column - frame.CJ)) << n;
        EXPECT_NEAR(v[n].z(), frame.k * GridHeight(row, column), 1e-4) << n;
    }
    float lowest = v[0].z();
    for (size_t n = 0; n < 9; ++n)
        lowest = std::min(lowest, v[n].z());
    for (size_t n = 9; n < v.size(); ++n)
        EXPECT_LT(v[n].z(), lowest) << n;

    // Its children: the four zoom-18 tiles, north-west first, each with the cell's centre at
    // the mean of its corners, as the finest level is drawn everywhere.
    osg::ref_ptr<osg::Node> children = BuildTerrainTile(Name('k', 17, row17, column17), frame);
    ASSERT_TRUE(children && children->asGroup());
    ASSERT_EQ(children->asGroup()->getNumChildren(), 4u);
    for (unsigned n = 0; n < 4; ++n)
    {
        const osg::Node* child = children->asGroup()->getChild(n);
        ASSERT_TRUE(child->asGeode()) << "the finest tiles have no children";
        const osg::Vec3Array& c = Vertices(child);
        const int64_t row = 2 * row17 + n / 2;
        const int64_t column = 2 * column17 + n % 2;
        EXPECT_FLOAT_EQ(c[0].x(), static_cast<float>(row - frame.CI)) << n;
        EXPECT_FLOAT_EQ(c[0].y(), static_cast<float>(column - frame.CJ)) << n;
        const double mean = (GridHeight(row, column) + GridHeight(row + 1, column) + GridHeight(row, column + 1) + GridHeight(row + 1, column + 1)) / 4.0;
        EXPECT_NEAR(c[4].z(), frame.k * mean, 1e-4) << n;
    }

    // Names that are no tile's: nothing, never a guess.
    for (const std::string& name : {Name('t', 9, 0, 0), Name('t', 13, -1, 5), Name('k', 18, Row18, Column18), Name('x', 13, 1, 1), std::string("t_13_1.frtile")})
        EXPECT_FALSE(BuildTerrainTile(name, frame)) << name;
}

TEST_F(PagedTerrainTest, MissingPicturesComeFromTheFinerTilesElseTheCoarserElseGrass)
{
    // The four zoom-18 pictures under a level-17 tile that has none of its own.
    const int64_t row17 = Row18 / 2;
    const int64_t column17 = Column18 / 2;
    const unsigned char colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}; // NW, NE, SW, SE
    for (int n = 0; n < 4; ++n)
        ASSERT_TRUE(WriteImage(ImageryFileName(18, 2 * row17 + n / 2, 2 * column17 + n % 2), 64, 64, SolidColour(colours[n][0], colours[n][1], colours[n][2])));
    ASSERT_TRUE(WriteImage(GrassTextureFile, 64, 64, SolidColour(200, 200, 0)));
    const int64_t row16 = Row18 / 4 + 3;
    ASSERT_TRUE(WriteImage(ImageryFileName(16, row16, Column18 / 4), 64, 64, SolidColour(0, 255, 255)));
    PagedTerrain terrain(frame, {GridTile{Row18, Column18}}); // lists the pictures there are

    osg::ref_ptr<osg::Node> tile = BuildTerrainTile(Name('t', 17, row17, column17), frame);
    ASSERT_TRUE(tile);
    const double where[4][2] = {{0.25, 0.75}, {0.75, 0.75}, {0.25, 0.25}, {0.75, 0.25}}; // east, north
    for (int n = 0; n < 4; ++n)
    {
        const osg::Vec4 texel = TexelOf(tile.get(), where[n][0], where[n][1]);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(texel[c] * 255.0f, colours[n][c], 12.0f) << "quarter " << n << " channel " << c;
    }

    // A level-16 tile beside it with no picture under it at all: grass.
    osg::ref_ptr<osg::Node> bare = BuildTerrainTile(Name('t', 16, Row18 / 4 + 2, Column18 / 4), frame);
    ASSERT_TRUE(bare);
    const osg::Vec4 grass = TexelOf(bare.get(), 0.5, 0.5);
    EXPECT_NEAR(grass.r() * 255.0f, 200.0f, 12.0f);
    EXPECT_NEAR(grass.b() * 255.0f, 0.0f, 12.0f);

    // A zoom-18 tile with nothing of its own nor under it, below a level-16 picture: the
    // quarter of a quarter of that picture over it.
    osg::ref_ptr<osg::Node> under = BuildTerrainTile(Name('t', 18, row16 * 4 + 1, Column18 / 4 * 4 + 2), frame);
    ASSERT_TRUE(under);
    const auto& uv = *static_cast<const osg::Vec2Array*>(MeshOf(under.get()).getTexCoordArray(0));
    EXPECT_FLOAT_EQ(uv[0].x(), 0.5f);  // third column of four from the west
    EXPECT_FLOAT_EQ(uv[0].y(), 0.75f); // its north edge: second row of four from the north
    EXPECT_FLOAT_EQ(uv[3].x() - uv[0].x(), 0.25f);
    EXPECT_NEAR(TexelOf(under.get(), 0.6, 0.6).g() * 255.0f, 255.0f, 12.0f);
}

// Two flights far apart, the map frame between them: ground along each, none between them,
// where no flight is.
TEST_F(PagedTerrainTest, FlightsFarApartHaveGroundAlongEachAndNoneBetween)
{
    const int64_t apart = 12 * 256; // zoom-18 tiles: twelve roots either side of the frame's centre
    const int32_t row = static_cast<int32_t>(Row18);
    PagedTerrain terrain(frame, std::vector<FlightTiles>{FlightTiles{row, static_cast<int32_t>(Column18 - apart), {GridTile{Row18, Column18 - apart}}},
                                                  FlightTiles{row, static_cast<int32_t>(Column18 + apart), {GridTile{Row18, Column18 + apart}}}});
    ASSERT_GT(terrain.getNumChildren(), 0u);
    for (unsigned i = 0; i < terrain.getNumChildren(); ++i)
    {
        const std::string name = static_cast<const osg::PagedLOD*>(terrain.getChild(i))->getFileName(0);
        long long row = 0, column = 0;
        ASSERT_EQ(sscanf(name.c_str(), "t_10_%lld_%lld", &row, &column), 2) << name;
        EXPECT_GT(std::llabs(column - Column18 / 256), 6) << name << " lies between the flights";
    }
}

} // namespace
