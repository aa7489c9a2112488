#include <algorithm>
#include <cstdlib>
#include <string>
#include <map>
#include <set>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Notify>
#include <osg/Texture2D>
#include <osg/io_utils>

#include "support/TerrainTestSupport.h"
#include "geo/MapFrame.h"
#include "support/SceneFiles.h"
#include "terrain/PatchTemplates.h"
#include "terrain/RingTiles.h"
#include "terrain/TerrainRings.h"

namespace
{

int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - (a % b != 0 && a < 0 ? 1 : 0);
}

struct Patch
{
    int32_t level, s;
    int64_t ti, tj;
    std::string ImageName() const { return "./img/" + std::string(1, static_cast<char>('a' + level)) + "-" + std::to_string(ti) + "-" + std::to_string(tj) + ".jpg"; }
};

// The patches in the order the terrain must hold them, from the level rule alone.
std::vector<Patch> ExpectedPatches()
{
    std::vector<Patch> patches;
    for (int32_t level = 18, s = 1; level >= 13; --level, s *= 2)
        for (int32_t i = -3; i <= 3; ++i)
            for (int32_t j = -3; j <= 3; ++j)
                if (s == 1 || std::max(std::abs(i), std::abs(j)) >= 2)
                    patches.push_back({level, s, FloorDiv(MapFrame.CI, s) + i, FloorDiv(MapFrame.CJ, s) + j});
    return patches;
}

const osg::Geometry& GeometryOf(const osg::Group& terrain, unsigned n)
{
    const osg::Geode* geode = terrain.getChild(n)->asGeode();
    EXPECT_TRUE(geode && geode->getNumDrawables() == 1 && geode->getDrawable(0)->asGeometry());
    return *geode->getDrawable(0)->asGeometry();
}

// Whether (x, y) lies strictly inside a triangle of the patch's strip.
bool Covers(const osg::Geometry& g, double x, double y)
{
    const auto& v = *static_cast<const osg::Vec3Array*>(g.getVertexArray());
    const auto& strip = *static_cast<const osg::DrawElementsUShort*>(g.getPrimitiveSet(0));
    for (size_t m = 2; m < strip.size(); ++m)
    {
        double d[3];
        for (size_t e = 0; e < 3; ++e)
        {
            const osg::Vec3& p = v[strip[m - 2 + e]];
            const osg::Vec3& q = v[strip[m - 2 + (e + 1) % 3]];
            d[e] = (q.x() - p.x()) * (y - p.y()) - (q.y() - p.y()) * (x - p.x());
        }
        if ((d[0] > 0 && d[1] > 0 && d[2] > 0) || (d[0] < 0 && d[1] < 0 && d[2] < 0))
            return true;
    }
    return false;
}

void WriteJpeg(const std::string& fileName, int width, int height)
{
    ASSERT_TRUE(WriteImage(fileName, width, height, SolidColour(128, 128, 128)));
}

class TerrainRingsTest : public TerrainFixture
{
protected:
    void SetUp() override
    {
        TerrainFixture::SetUp();
        osg::setNotifyLevel(osg::FATAL); // the image plug-ins' own notices about missing files
        MapFrame.k = 1.0 / 152.7;
    }
};

} // namespace

TEST_F(TerrainRingsTest, BuildsSixLevelsWithHeightsImageryAndMessagesInOrder)
{
    // Level 18 lies in elevation tile (0, 7); the first level-17 patch is the first to reach
    // into tile (0, 6), which is missing. The parities come out (1,1), (0,1), (1,0), (0,0).
    MapFrame.CI = 101;
    MapFrame.CJ = 7 * 1024 + 3;
    WriteDistinctTile(0, 7);
    // Widths tell the images apart: the first patch, one at level 17, the very last, grass.
    const std::map<std::string, int> widths = {{"./img/s-98-7168.jpg", 8}, {"./img/r-47-3585.jpg", 16}, {"./img/n-6-227.jpg", 24}};
    for (const auto& image : widths)
        WriteJpeg(image.first, image.second, 8);
    WriteJpeg("./res/grass_1.jpg", 4, 4);

    BeginCapture();
    osg::ref_ptr<osg::Group> terrain = BuildTerrain();
    const std::string output = EndCapture();

    const std::vector<Patch> patches = ExpectedPatches();
    ASSERT_EQ(terrain->getNumChildren(), 249u);
    std::string expectedOutput;
    std::set<const osg::Image*> grassImages;
    for (unsigned n = 0; n < patches.size(); ++n)
    {
        const Patch& p = patches[n];
        SCOPED_TRACE(p.ImageName());
        const osg::Geometry& g = GeometryOf(*terrain, n);
        const auto* colours = dynamic_cast<const osg::Vec4Array*>(g.getColorArray());
        ASSERT_TRUE(colours && colours->size() == 1);
        EXPECT_EQ((*colours)[0], osg::Vec4(1, 1, 1, 1));
        EXPECT_EQ(colours->getBinding(), osg::Array::BIND_OVERALL);
        const auto* texture = dynamic_cast<const osg::Texture2D*>(g.getStateSet()->getTextureAttribute(0, osg::StateAttribute::TEXTURE));
        ASSERT_TRUE(texture && texture->getImage());
        EXPECT_EQ(texture->getDataVariance(), osg::Object::DYNAMIC);

        if (n == 49)
            expectedOutput += "Not open egm 'zsi-0-6.egm'\n";
        const auto found = widths.find(p.ImageName());
        if (found == widths.end())
        {
            expectedOutput += "img:" + p.ImageName() + " - Not found\n";
            EXPECT_TRUE(grassImages.insert(texture->getImage()).second) << "grass is read anew for every patch";
        }
        EXPECT_EQ(texture->getImage()->s(), found == widths.end() ? 4 : found->second);
    }
    EXPECT_EQ(output, expectedOutput);

    // The first patch of every level is a full tile at offset (-3, -3).
    for (unsigned n = 0; n < patches.size(); n += (n == 0 ? 49 : 40))
    {
        const Patch& p = patches[n];
        SCOPED_TRACE(p.ImageName());
        const osg::Geometry& g = GeometryOf(*terrain, n);
        const auto& v = *static_cast<const osg::Vec3Array*>(g.getVertexArray());
        const auto& uv = *static_cast<const osg::Vec2Array*>(g.getTexCoordArray(0));
        ASSERT_EQ(v.size(), 5u);
        double sum = 0.0;
        for (int32_t k = 0; k < 5; ++k)
        {
            const double x = FullTileTemplate.positions[k][0] * p.s;
            const double y = FullTileTemplate.positions[k][1] * p.s;
            const double a = p.ti * p.s - MapFrame.CI + x;
            const double b = p.tj * p.s - MapFrame.CJ + y;
            const int64_t column = p.tj * p.s + static_cast<int64_t>(y);
            const double h = column / 1024 == 7 ? GridHeight(p.ti * p.s + static_cast<int64_t>(x), column) : 0;
            const double z = p.s > 1 ? MapFrame.k * h - CurvatureDrop(a, b) : MapFrame.k * (k < 4 ? h : sum / 4);
            sum += h;
            EXPECT_EQ(osg::Vec2(v[k].x(), v[k].y()), osg::Vec2(a, b)) << k;
            EXPECT_FLOAT_EQ(v[k].z(), static_cast<float>(z)) << k;
            EXPECT_EQ(uv[k], osg::Vec2(y / p.s, 1 - x / p.s)) << k;
        }
    }
}

TEST_F(TerrainRingsTest, MissingTilesAreToldOnceEachAndSummedUpInOneLine)
{
    // Nothing there, and the library's notices at the programs' level.
    MapFrame.CI = 1024 * 90 + 5;
    MapFrame.CJ = 1024 * 134 + 1000;
    const char* const asked = getenv("OSG_NOTIFY_LEVEL");
    const std::string level = asked ? asked : "";
    unsetenv("OSG_NOTIFY_LEVEL");
    osg::setNotifyLevel(osg::WARN);
    OutputCapture capture(true);
    BuildTerrain();
    const std::string out = capture.Finish();
    osg::setNotifyLevel(osg::FATAL);
    if (asked)
        setenv("OSG_NOTIFY_LEVEL", level.c_str(), 1);

    const size_t imagery = RingImageryTiles(MapFrame.CI, MapFrame.CJ).size();
    const size_t elevation = RingElevationTiles(MapFrame.CI, MapFrame.CJ).size();
    EXPECT_EQ(SplitLines(out).size(), imagery + elevation);
    EXPECT_EQ(capture.Errors(), "terrain: " + std::to_string(imagery) + " imagery tiles (drawn plain white: the grass texture './res/grass_1.jpg' is missing too) and " + std::to_string(elevation) +
        " elevation tiles (drawn flat at 0 m) missing: `flightreplay-data plan LOG` lists them, `flightreplay-data dem RASTER... --log LOG` and `flightreplay-data imagery SOURCE --log LOG` make them\n");
}

// Every point of the outermost level's 7 x 7 block lies under exactly one patch: the
// transition templates, the parities and the halving of the centres all have to agree.
// Negative centres are halved rounding down. (Within one patch triangles may overlap: the
// half-south strip draws part of its half twice, so points count patches, not triangles.)
TEST_F(TerrainRingsTest, LevelsCoverTheOutermostBlockExactlyOnce)
{
    const int32_t centres[][2] = {{101, 7 * 1024 + 3}, {-5, 3}, {-1, -64}, {262143, 130}};
    for (const auto& centre : centres)
    {
        MapFrame.CI = centre[0];
        MapFrame.CJ = centre[1];
        SCOPED_TRACE(testing::Message() << "centre " << centre[0] << "," << centre[1]);
        BeginCapture();
        osg::ref_ptr<osg::Group> terrain = BuildTerrain();
        EndCapture();
        ASSERT_EQ(terrain->getNumChildren(), 249u);

        // Two samples per tile and axis, offset so that none falls on a template edge.
        const int32_t size = 2 * 224;
        const double x0 = (FloorDiv(MapFrame.CI, 32) - 3) * 32.0 - MapFrame.CI;
        const double y0 = (FloorDiv(MapFrame.CJ, 32) - 3) * 32.0 - MapFrame.CJ;
        std::vector<int32_t> hits(size * size);
        int32_t outside = 0;
        for (unsigned n = 0; n < terrain->getNumChildren(); ++n)
        {
            const osg::Geometry& g = GeometryOf(*terrain, n);
            const osg::BoundingBox& box = g.getBoundingBox();
            for (int32_t a = static_cast<int32_t>((box.xMin() - x0) * 2) - 1; a <= (box.xMax() - x0) * 2; ++a)
                for (int32_t b = static_cast<int32_t>((box.yMin() - y0) * 2) - 1; b <= (box.yMax() - y0) * 2; ++b)
                    if (Covers(g, x0 + (a + 0.37) / 2, y0 + (b + 0.61) / 2))
                        ++(a < 0 || b < 0 || a >= size || b >= size ? outside : hits[a * size + b]);
        }
        EXPECT_EQ(outside, 0);
        EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), static_cast<long>(hits.size()));
    }
}

// The files the data tool, the generator and the benchmarks write are the ones the terrain
// reads: in an empty folder it reports each of them, in its own order.
TEST_F(TerrainRingsTest, RingTilesAreTheFilesTheTerrainReadsInItsOrder)
{
    const int32_t centres[][2] = {{91540, 137554}, {1024 * 90 + 5, 1024 * 134 + 1000}, {101, 77}};
    for (const auto& centre : centres)
    {
        SCOPED_TRACE(testing::Message() << "centre " << centre[0] << "," << centre[1]);
        MapFrame.CI = centre[0];
        MapFrame.CJ = centre[1];
        ResetElevationStore();
        BeginCapture();
        BuildTerrain();
        const std::string messages = EndCapture();
        std::string expected;
        for (const ElevationTileId& tile : RingElevationTiles(centre[0], centre[1]))
            expected += "Not open egm '" + ElevationTileFileName(tile.tileRow, tile.tileColumn) + "'\n";
        for (const ImageryTileId& tile : RingImageryTiles(centre[0], centre[1]))
            expected += "img:" + ImageryFileName(tile) + " - Not found\n";
        // The terrain reports a missing elevation tile at its first lookup, amid the
        // imagery; the lines of each kind keep their order.
        std::vector<std::string> actual = SplitLines(messages);
        std::vector<std::string> wanted = SplitLines(expected);
        std::stable_partition(actual.begin(), actual.end(), [](const std::string& line) { return line[0] == 'N'; });
        EXPECT_EQ(actual, wanted);
    }
}
