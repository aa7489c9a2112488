#include <cstdlib>
#include <filesystem>
#include <string>

#include <osg/AnimationPath>
#include <osg/Geode>
#include <osg/Geometry>

#include "support/SceneTestSupport.h"
#include "scene/Aircraft.h"
#include "viewer/FlightViewer.h"
#include "viewer/SceneAssembly.h"

namespace
{
class SceneAssemblyTest : public SceneFixture
{
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        AddRow(1, 47.10, 8.20, 400.0);
        AddRow(2, 47.11, 8.21, 450.0);
        TrackedAircraft = nullptr;
    }

    // BuildTerrain reports every missing tile and image on stdout; keep the test log short.
    osg::ref_ptr<osg::Group> QuietBuildScene()
    {
        OutputCapture quiet;
        return BuildScene();
    }
};

bool IsTrack(osg::Node* node)
{
    osg::Group* group = node->asGroup();
    if (!group || group->getNumChildren() != 1 || !group->getChild(0)->asGeode())
        return false;
    osg::Geometry* geometry = group->getChild(0)->asGeode()->getDrawable(0)->asGeometry();
    return geometry && geometry->getPrimitiveSet(0)->getMode() == GL_LINE_STRIP;
}

bool IsSky(osg::Node* node)
{
    osg::Group* group = node->asGroup();
    if (!group || group->getNumChildren() != 1)
        return false;
    const osg::StateSet* state = group->getChild(0)->getStateSet();
    return state && state->getBinNumber() == -2;
}

void ExpectAnimatedAircraft(osg::Node* node)
{
    osg::MatrixTransform* animated = dynamic_cast<osg::MatrixTransform*>(node);
    ASSERT_NE(animated, nullptr);
    EXPECT_TRUE(animated->getMatrix().isIdentity());
    osg::AnimationPathCallback* callback = dynamic_cast<osg::AnimationPathCallback*>(animated->getUpdateCallback());
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(callback->getTimeOffset(), 0.0);
    EXPECT_EQ(callback->getTimeMultiplier(), 1.0);
    EXPECT_EQ(callback->getAnimationPath()->getTimeControlPointMap().size(), 2u);
    ASSERT_EQ(animated->getNumChildren(), 1u);
    // The node tracker follows the aircraft's own transform, not the moving one above it.
    EXPECT_EQ(animated->getChild(0), TrackedAircraft);
    EXPECT_NE(TrackedAircraft, nullptr);
}
} // namespace

TEST_F(SceneAssemblyTest, TerrainTrackSkyAircraftInOrderUnlit)
{
    WriteImage("sky12q-1024x512.jpeg");
    osg::ref_ptr<osg::Group> root = QuietBuildScene();
    EXPECT_EQ(root->getStateSet()->getMode(GL_LIGHTING), osg::StateAttribute::OFF);
    ASSERT_EQ(root->getNumChildren(), 4u);
    EXPECT_EQ(root->getChild(0)->asGroup()->getNumChildren(), 249u); // the terrain patches
    EXPECT_TRUE(IsTrack(root->getChild(1)));
    EXPECT_TRUE(IsSky(root->getChild(2)));
    ExpectAnimatedAircraft(root->getChild(3));
}

TEST_F(SceneAssemblyTest, NoSkyTextureLeavesThreeChildren)
{
    osg::ref_ptr<osg::Group> root = QuietBuildScene();
    ASSERT_EQ(root->getNumChildren(), 3u);
    EXPECT_EQ(root->getChild(0)->asGroup()->getNumChildren(), 249u);
    EXPECT_TRUE(IsTrack(root->getChild(1)));
    ExpectAnimatedAircraft(root->getChild(2));
}

TEST_F(SceneAssemblyTest, NoDisplayReturnsNoWindowAndSaysWhy)
{
    // A display with no server behind it: unsetting DISPLAY would make the window library
    // try :0, where a desktop or another test's virtual server may be running.
    int unused = 99;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(unused)))
        ++unused;
    const char* display = getenv("DISPLAY");
    const std::string saved = display ? display : "";
    setenv("DISPLAY", (":" + std::to_string(unused)).c_str(), 1);
    OutputCapture capture(true);
    const int result = RunViewer();
    capture.Finish();
    const std::string errors = capture.Errors();
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    else
        unsetenv("DISPLAY");

    EXPECT_EQ(result, ViewerNoWindow);
    EXPECT_NE(errors.find("No graphics window could be opened"), std::string::npos) << errors;
    EXPECT_NE(errors.find("display"), std::string::npos) << errors;
}
