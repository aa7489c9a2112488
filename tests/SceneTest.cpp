#include <cmath>

#include <osg/Depth>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Texture2D>

#include "support/SceneTestSupport.h"
#include "geo/MapFrame.h"
#include "log/SampleTable.h"
#include "scene/FlightPath.h"
#include "scene/FlightTrack.h"
#include "scene/SkyDome.h"

namespace
{
class FlightTrackTest : public SceneFixture
{
};
class FlightPathTest : public SceneFixture
{
};
class SkyDomeTest : public SceneFixture
{
};

osg::Geometry* TrackGeometry(osg::Group* track)
{
    osg::Geode* geode = track->getChild(0)->asGeode();
    return geode->getDrawable(0)->asGeometry();
}

// The state set nearest to a node's first drawable, on the way down to it, that decides
// `what`; null when none does.
template <typename Decides>
const osg::StateSet* NearestDeciding(osg::Node* node, Decides what)
{
    const osg::StateSet* found = nullptr;
    for (; node; node = node->asGroup() && node->asGroup()->getNumChildren() > 0 ? node->asGroup()->getChild(0) : nullptr)
        if (node->getStateSet() && what(*node->getStateSet()))
            found = node->getStateSet();
    return found;
}

// The direction the attitude of the only control point of the path gives the vector v.
osg::Vec3d TurnedByFirstPoint(osg::AnimationPath* path, const osg::Vec3d& v)
{
    return path->getTimeControlPointMap().begin()->second.getRotation() * v;
}

void ExpectNear(const osg::Vec3d& expected, const osg::Vec3d& actual)
{
    EXPECT_NEAR(expected.x(), actual.x(), 1e-9);
    EXPECT_NEAR(expected.y(), actual.y(), 1e-9);
    EXPECT_NEAR(expected.z(), actual.z(), 1e-9);
}
} // namespace

TEST_F(FlightTrackTest, WhiteLineStripThroughEveryRowInTableOrder)
{
    AddRow(5, 47.10, 8.20, 400.0);
    AddRow(900, 47.11, 8.21, 450.0); // a jump in sample numbers joins straight on
    AddRow(3, 47.09, 8.19, 500.0);
    osg::ref_ptr<osg::Group> track = BuildTrack();

    osg::Geometry* geometry = TrackGeometry(track.get());
    const osg::Vec3Array* vertices = static_cast<const osg::Vec3Array*>(geometry->getVertexArray());
    ASSERT_EQ(vertices->size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ((*vertices)[i], ScenePosition(SampleTable.rows[i].gps_curlat, SampleTable.rows[i].gps_curlon, SampleTable.rows[i].gps_curalt)) << "row " << i;

    ASSERT_EQ(geometry->getNumPrimitiveSets(), 1u);
    const osg::DrawArrays* strip = dynamic_cast<const osg::DrawArrays*>(geometry->getPrimitiveSet(0));
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->getMode(), static_cast<GLenum>(GL_LINE_STRIP));
    EXPECT_EQ(strip->getFirst(), 0);
    EXPECT_EQ(strip->getCount(), 3);

    const osg::Vec4Array* colours = static_cast<const osg::Vec4Array*>(geometry->getColorArray());
    ASSERT_EQ(colours->size(), 1u);
    EXPECT_EQ((*colours)[0], osg::Vec4(1, 1, 1, 1));
    EXPECT_EQ(colours->getBinding(), osg::Array::BIND_OVERALL);
    // Lighting comes from the root; a state set here could turn it back on.
    EXPECT_EQ(geometry->getStateSet(), nullptr);
}

TEST_F(FlightPathTest, ControlPointsSitExactlyOnTrackVertices)
{
    // Coordinates whose double positions are not floats: widening the double directly
    // would leave the aircraft a hair off the line.
    AddRow(1, 47.123456789, 8.987654321, 432.1);
    AddRow(2, 47.123556789, 8.987754321, 433.7);
    osg::ref_ptr<osg::Group> track = BuildTrack();
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();

    const osg::Vec3Array* vertices = static_cast<const osg::Vec3Array*>(TrackGeometry(track.get())->getVertexArray());
    const osg::AnimationPath::TimeControlPointMap& points = path->getTimeControlPointMap();
    ASSERT_EQ(points.size(), 2u);
    int i = 0;
    for (const auto& entry : points)
    {
        EXPECT_EQ(entry.second.getPosition(), osg::Vec3d((*vertices)[i])) << "row " << i;
        EXPECT_EQ(entry.second.getScale(), osg::Vec3d(1, 1, 1));
        ++i;
    }
}

// Rows are timed by their index and the step, never by their sample numbers. A step of 0
// puts every row at time 0, where each replaces the one before; a negative one (time
// running backwards in the log) keeps every row, in time order.
TEST_F(FlightPathTest, RowsAreTimedByTheirIndexAndTheStepAndLoop)
{
    const struct
    {
        double step;
        std::vector<double> times;
        int32_t firstRow; // the row whose position the earliest point holds
    } cases[] = {{1.5, {0.0, 0.5, 1.0}, 0}, {0.0, {0.0}, 2}, {-1.5, {-1.0, -0.5, 0.0}, 2}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE("step " + std::to_string(c.step));
        ResetSampleTable();
        AddRow(10, 47.1, 8.2, 400.0);
        AddRow(11, 47.2, 8.3, 500.0);
        AddRow(500, 47.3, 8.4, 600.0);
        SampleTable.SampleStep = c.step;
        osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();

        EXPECT_EQ(path->getLoopMode(), osg::AnimationPath::LOOP);
        const osg::AnimationPath::TimeControlPointMap& points = path->getTimeControlPointMap();
        std::vector<double> times;
        for (const auto& entry : points)
            times.push_back(entry.first);
        EXPECT_EQ(times, c.times);
        const SampleRow& first = SampleTable.rows[c.firstRow];
        EXPECT_EQ(points.begin()->second.getPosition(), osg::Vec3d(ScenePosition(first.gps_curlat, first.gps_curlon, first.gps_curalt)));
    }
}

TEST_F(FlightPathTest, StepThatIsNotANumberStillGivesOrderedTimes)
{
    AddRow(1, 47.1, 8.2, 400.0);
    AddRow(2, 47.2, 8.3, 500.0);
    SampleTable.SampleStep = std::nan("");
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();
    const osg::AnimationPath::TimeControlPointMap& points = path->getTimeControlPointMap();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_TRUE(std::isfinite(points.rbegin()->first));
    EXPECT_GT(points.rbegin()->first, points.begin()->first);
}

TEST_F(FlightPathTest, QuarterHeadingTurnsFirstAxisOntoSecond)
{
    AddRow(1, 47.1, 8.2, 400.0, Pi / 2.0);
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();
    ExpectNear(osg::Vec3d(0, 1, 0), TurnedByFirstPoint(path.get(), osg::Vec3d(1, 0, 0)));
}

TEST_F(FlightPathTest, RollThenPitchThenHeadingAboutFixedAxes)
{
    const double roll = 0.3;
    const double pitch = 0.5;
    const double heading = 1.1;
    AddRow(1, 47.1, 8.2, 400.0, heading, roll, pitch);
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();

    // The first axis, by hand: roll about (0, -1, 0) lifts it to (cos r, 0, sin r); pitch
    // about (1, 0, 0) tips that towards -y; heading swings it about the vertical.
    const osg::Vec3d rolled(std::cos(roll), 0.0, std::sin(roll));
    const osg::Vec3d pitched(rolled.x(), -rolled.z() * std::sin(pitch), rolled.z() * std::cos(pitch));
    const osg::Vec3d expected(pitched.x() * std::cos(heading) - pitched.y() * std::sin(heading),
                              pitched.x() * std::sin(heading) + pitched.y() * std::cos(heading), pitched.z());
    ExpectNear(expected, TurnedByFirstPoint(path.get(), osg::Vec3d(1, 0, 0)));

    // Heading first would have put the point at (cos h cos r, sin h, cos h sin r) instead.
    const osg::Vec3d actual = TurnedByFirstPoint(path.get(), osg::Vec3d(1, 0, 0));
    EXPECT_GT(std::fabs(actual.y() - std::sin(heading)), 0.1);
}

TEST_F(SkyDomeTest, MissingTextureGivesNoSky)
{
    EXPECT_FALSE(BuildSkyDome().valid());
}

TEST_F(SkyDomeTest, TexturedSphereDrawnFirstAtTheFarPlane)
{
    WriteImage("sky12q-1024x512.jpeg");
    osg::ref_ptr<osg::Group> sky = BuildSkyDome();
    ASSERT_TRUE(sky.valid());

    // Drawn before everything else, which stays in the default bin 0.
    const osg::StateSet* bin = NearestDeciding(sky.get(), [](const osg::StateSet& s) { return s.getRenderBinMode() != osg::StateSet::INHERIT_RENDERBIN_DETAILS; });
    ASSERT_NE(bin, nullptr);
    EXPECT_LT(bin->getBinNumber(), 0);

    // Every fragment lands on the far plane and passes against a cleared depth buffer there,
    // so whatever is drawn later covers it, however near or far.
    const osg::StateSet* depthState = NearestDeciding(sky.get(), [](const osg::StateSet& s) { return s.getAttribute(osg::StateAttribute::DEPTH) != nullptr; });
    ASSERT_NE(depthState, nullptr);
    const osg::Depth* depth = static_cast<const osg::Depth*>(depthState->getAttribute(osg::StateAttribute::DEPTH));
    EXPECT_EQ(depth->getZNear(), 1.0);
    EXPECT_EQ(depth->getZFar(), 1.0);
    EXPECT_TRUE(depth->getFunction() == osg::Depth::ALWAYS || depth->getFunction() == osg::Depth::LEQUAL) << depth->getFunction();

    // Unlit: the texture's colours as they are, whichever way the sun stands.
    const osg::StateSet* lighting = NearestDeciding(sky.get(), [](const osg::StateSet& s) { return s.getMode(GL_LIGHTING) != osg::StateAttribute::INHERIT; });
    ASSERT_NE(lighting, nullptr);
    EXPECT_EQ(lighting->getMode(GL_LIGHTING) & osg::StateAttribute::ON, 0u);

    // Textured with the sky file, clamped to its edge texels: a texture that wraps blends the
    // far side of the image into the seam where the sphere's texture coordinates meet, and
    // plain clamping blends in the black border colour at the poles.
    const osg::StateSet* textured = NearestDeciding(sky.get(), [](const osg::StateSet& s) { return s.getTextureAttribute(0, osg::StateAttribute::TEXTURE) != nullptr; });
    ASSERT_NE(textured, nullptr);
    EXPECT_TRUE(textured->getTextureMode(0, GL_TEXTURE_2D) & osg::StateAttribute::ON);
    const osg::Texture2D* texture = dynamic_cast<const osg::Texture2D*>(textured->getTextureAttribute(0, osg::StateAttribute::TEXTURE));
    ASSERT_TRUE(texture && texture->getImage());
    EXPECT_EQ(texture->getImage()->s(), 16);
    EXPECT_EQ(texture->getImage()->t(), 8);
    EXPECT_EQ(texture->getWrap(osg::Texture::WRAP_S), osg::Texture::CLAMP_TO_EDGE);
    EXPECT_EQ(texture->getWrap(osg::Texture::WRAP_T), osg::Texture::CLAMP_TO_EDGE);

    // Around the frame's origin, where the flight is.
    EXPECT_TRUE(sky->getBound().contains(osg::Vec3(0, 0, 0)));
}
