#include <cmath>

#include <osg/Depth>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ShapeDrawable>
#include <osg/TexEnv>
#include <osg/Texture2D>

#include "SceneTestSupport.h"
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

TEST_F(FlightPathTest, TimesFollowRowIndexNotSampleNumberAndLoop)
{
    AddRow(10, 47.1, 8.2, 400.0);
    AddRow(11, 47.1, 8.2, 400.0);
    AddRow(500, 47.1, 8.2, 400.0);
    SampleTable.SampleStep = 1.5;
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();

    EXPECT_EQ(path->getLoopMode(), osg::AnimationPath::LOOP);
    std::vector<double> times;
    for (const auto& entry : path->getTimeControlPointMap())
        times.push_back(entry.first);
    EXPECT_EQ(times, (std::vector<double>{0.0, 0.5, 1.0}));
}

// All rows at time 0: each point replaces the one before, the last row stays.
TEST_F(FlightPathTest, ZeroStepLeavesOnlyTheLastRow)
{
    AddRow(1, 47.1, 8.2, 400.0);
    AddRow(2, 47.2, 8.3, 500.0);
    AddRow(3, 47.3, 8.4, 600.0);
    SampleTable.SampleStep = 0.0;
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();
    const osg::AnimationPath::TimeControlPointMap& points = path->getTimeControlPointMap();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points.begin()->first, 0.0);
    EXPECT_EQ(points.begin()->second.getPosition(), osg::Vec3d(ScenePosition(SampleTable.rows[2].gps_curlat, SampleTable.rows[2].gps_curlon, SampleTable.rows[2].gps_curalt)));
}

// A negative step (time running backwards in the log) still keeps every row, in time order.
TEST_F(FlightPathTest, FallingTimesKeepEveryRow)
{
    AddRow(1, 47.1, 8.2, 400.0);
    AddRow(2, 47.2, 8.3, 500.0);
    AddRow(3, 47.3, 8.4, 600.0);
    SampleTable.SampleStep = -1.5;
    osg::ref_ptr<osg::AnimationPath> path = BuildFlightPath();
    const osg::AnimationPath::TimeControlPointMap& points = path->getTimeControlPointMap();
    ASSERT_EQ(points.size(), 3u);
    std::vector<double> times;
    for (const auto& entry : points)
        times.push_back(entry.first);
    EXPECT_EQ(times, (std::vector<double>{-1.0, -0.5, 0.0}));
    EXPECT_EQ(points.begin()->second.getPosition(), osg::Vec3d(ScenePosition(SampleTable.rows[2].gps_curlat, SampleTable.rows[2].gps_curlon, SampleTable.rows[2].gps_curalt)));
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
    ASSERT_EQ(sky->getNumChildren(), 1u);
    osg::Geode* geode = sky->getChild(0)->asGeode();
    ASSERT_NE(geode, nullptr);
    ASSERT_EQ(geode->getNumDrawables(), 1u);

    const osg::ShapeDrawable* drawable = dynamic_cast<const osg::ShapeDrawable*>(geode->getDrawable(0));
    ASSERT_NE(drawable, nullptr);
    const osg::Sphere* sphere = dynamic_cast<const osg::Sphere*>(drawable->getShape());
    ASSERT_NE(sphere, nullptr);
    EXPECT_EQ(sphere->getRadius(), 200.0f);
    EXPECT_EQ(sphere->getCenter(), osg::Vec3(0, 0, 0));
    ASSERT_NE(drawable->getTessellationHints(), nullptr);
    EXPECT_EQ(drawable->getTessellationHints()->getDetailRatio(), 1.0f);

    const osg::StateSet* state = geode->getStateSet();
    ASSERT_NE(state, nullptr);
    const osg::Texture2D* texture = dynamic_cast<const osg::Texture2D*>(state->getTextureAttribute(0, osg::StateAttribute::TEXTURE));
    ASSERT_NE(texture, nullptr);
    EXPECT_NE(texture->getImage(), nullptr);
    EXPECT_EQ(state->getTextureMode(0, GL_TEXTURE_2D), osg::StateAttribute::ON);

    const osg::TexEnv* texEnv = dynamic_cast<const osg::TexEnv*>(state->getTextureAttribute(0, osg::StateAttribute::TEXENV));
    ASSERT_NE(texEnv, nullptr);
    EXPECT_EQ(texEnv->getMode(), osg::TexEnv::MODULATE);
    EXPECT_EQ(state->getTextureAttributePair(0, osg::StateAttribute::TEXENV)->second, 0u); // no override flags

    EXPECT_EQ(state->getMode(GL_LIGHTING), osg::StateAttribute::OFF);

    const osg::Depth* depth = dynamic_cast<const osg::Depth*>(state->getAttribute(osg::StateAttribute::DEPTH));
    ASSERT_NE(depth, nullptr);
    EXPECT_EQ(depth->getFunction(), osg::Depth::ALWAYS);
    EXPECT_EQ(depth->getZNear(), 1.0);
    EXPECT_EQ(depth->getZFar(), 1.0);
    EXPECT_TRUE(depth->getWriteMask());
    EXPECT_EQ(state->getMode(GL_DEPTH_TEST), osg::StateAttribute::ON);

    EXPECT_EQ(state->getBinNumber(), -2);
    EXPECT_EQ(state->getBinName(), "RenderBin");
    EXPECT_EQ(state->getRenderingHint(), osg::StateSet::DEFAULT_BIN);
    EXPECT_EQ(state->getRenderBinMode(), osg::StateSet::USE_RENDERBIN_DETAILS);
}
