#include <cmath>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geode>
#include <osg/Texture2D>
#include <osgDB/ReadFile>

#include "support/SceneTestSupport.h"
#include "geo/MapFrame.h"
#include "scene/Aircraft.h"

namespace
{
class AircraftTest : public SceneFixture
{
protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        TrackedAircraft = nullptr;
    }
};

osg::MatrixTransform* Part(osg::Group* shape, unsigned int i)
{
    return dynamic_cast<osg::MatrixTransform*>(shape->getChild(i));
}

// Where a point of the aircraft's own frame lands in the frame of the transform's parent.
osg::Vec3d Placed(const osg::MatrixTransform* aircraft, const osg::Vec3d& point)
{
    return point * aircraft->getMatrix();
}

void ExpectNear(const osg::Vec3d& expected, const osg::Vec3d& actual, double tolerance)
{
    EXPECT_NEAR(expected.x(), actual.x(), tolerance);
    EXPECT_NEAR(expected.y(), actual.y(), tolerance);
    EXPECT_NEAR(expected.z(), actual.z(), tolerance);
}
} // namespace

TEST_F(AircraftTest, ShapeAircraftIsOneUntexturedBodyScaledIntoFourMirroredParts)
{
    osg::ref_ptr<osg::Group> shape = BuildShapeAircraft();
    ASSERT_EQ(shape->getNumChildren(), 4u); // fuselage, wing, fin, tailplane
    osg::Node* shared = Part(shape.get(), 0)->getChild(0);
    for (unsigned int i = 0; i < 4; ++i)
    {
        osg::MatrixTransform* part = Part(shape.get(), i);
        ASSERT_NE(part, nullptr);
        ASSERT_EQ(part->getNumChildren(), 1u);
        EXPECT_EQ(part->getChild(0), shared) << "part " << i;
        // A scaled part needs its normals made unit length again, or its lighting goes wrong.
        const osg::StateSet* partState = part->getStateSet();
        ASSERT_NE(partState, nullptr) << "part " << i;
        EXPECT_TRUE((partState->getMode(GL_RESCALE_NORMAL) | partState->getMode(GL_NORMALIZE)) & osg::StateAttribute::ON) << "part " << i;
    }
    // No texture file: drawn untextured.
    const osg::StateSet* state = shared->getStateSet();
    EXPECT_TRUE(!state || !state->getTextureAttribute(0, osg::StateAttribute::TEXTURE));

    // Left and right mirror each other about the fuselage's axis.
    osg::ComputeBoundsVisitor bounds;
    shape->accept(bounds);
    EXPECT_NEAR(bounds.getBoundingBox().xMin(), -bounds.getBoundingBox().xMax(), 1e-9);
}

TEST_F(AircraftTest, ShapePartsAreScaledBeforeTheyAreMoved)
{
    osg::ref_ptr<osg::Group> shape = BuildShapeAircraft();
    // Scaled first, then moved: the fuselage's unit sphere spans y = 0.4 -+ 1.2 and the fin
    // centre sits at 1.3 above the wing; the other order would scale the offsets too.
    ExpectNear(osg::Vec3d(0, 1.6, 0), osg::Vec3d(0, 1, 0) * Part(shape.get(), 1)->getMatrix(), 1e-12);
    ExpectNear(osg::Vec3d(0, 1.3, 0.45), osg::Vec3d(0, 0, 1) * Part(shape.get(), 2)->getMatrix(), 1e-12);
    ExpectNear(osg::Vec3d(0.7, 1.3, 0.4), osg::Vec3d(1, 0, 0) * Part(shape.get(), 3)->getMatrix(), 1e-12);

    osg::ComputeBoundsVisitor bounds;
    shape->accept(bounds);
    EXPECT_NEAR(bounds.getBoundingBox().xMax(), 2.0, 1e-3); // wing tip
    EXPECT_NEAR(bounds.getBoundingBox().yMin(), -0.8, 1e-3); // nose
}

TEST_F(AircraftTest, ShapeAircraftWearsItsTextureWhenReadable)
{
    WriteImage("res/tamor1.jpg");
    osg::ref_ptr<osg::Group> shape = BuildShapeAircraft();
    const osg::StateSet* state = Part(shape.get(), 0)->getChild(0)->getStateSet();
    EXPECT_NE(dynamic_cast<const osg::Texture2D*>(state->getTextureAttribute(0, osg::StateAttribute::TEXTURE)), nullptr);
    EXPECT_EQ(state->getTextureMode(0, GL_TEXTURE_2D), osg::StateAttribute::ON);
}

TEST_F(AircraftTest, MissingModelFallsBackToShapeAircraftTurnedTailSouthOfWing)
{
    osg::ref_ptr<osg::MatrixTransform> aircraft = BuildAircraft();
    EXPECT_EQ(TrackedAircraft, aircraft.get());
    ASSERT_EQ(aircraft->getNumChildren(), 1u);
    EXPECT_EQ(aircraft->getStateSet()->getMode(GL_RESCALE_NORMAL), osg::StateAttribute::ON);

    // The half turn brings the tail (shape y = 1.3) to negative y, nose ahead at positive y.
    const osg::Vec3d tail = Placed(aircraft.get(), osg::Vec3d(0, 1.3, 0));
    EXPECT_LT(tail.y(), 0.0);
    EXPECT_NEAR(tail.x(), 0.0, 1e-12);
    // 12 metres of bounding radius, k = 0.01 units per metre.
    EXPECT_NEAR(aircraft->getBound().radius(), 0.12, 1e-6);
}

TEST_F(AircraftTest, ModelIsStoodUpAndScaledToTwelveMetres)
{
    WriteText("EasyStar/data/body.ac", TriangleModel);
    osg::ref_ptr<osg::MatrixTransform> aircraft = BuildAircraft();
    EXPECT_EQ(TrackedAircraft, aircraft.get());

    // 12 m at k = 0.01 over the model's own bounding radius.
    osg::ref_ptr<osg::Node> model = osgDB::readNodeFile("./EasyStar/data/body.ac");
    const double s = 0.12 / model->getBound().radius();
    // The file's +y is up in the scene, and its +x turns onto the scene's -y.
    ExpectNear(osg::Vec3d(0, 0, s), Placed(aircraft.get(), osg::Vec3d(0, 1, 0)), 1e-12);
    ExpectNear(osg::Vec3d(0, -s, 0), Placed(aircraft.get(), osg::Vec3d(1, 0, 0)), 1e-12);
    EXPECT_NEAR(aircraft->getBound().radius(), 0.12, 1e-6);
}

TEST_F(AircraftTest, ModelWithoutGeometryStillGetsAFiniteScale)
{
    WriteText("EasyStar/data/body.ac", "AC3Db\nOBJECT world\nkids 0\n");
    osg::ref_ptr<osg::MatrixTransform> aircraft = BuildAircraft();
    const osg::Matrixd& m = aircraft->getMatrix();
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(std::isfinite(m.ptr()[i])) << "element " << i;
    // Scaled as if the radius were 1; an empty bound's radius of -1 would turn it upside down.
    ExpectNear(osg::Vec3d(0, 0, 0.12), Placed(aircraft.get(), osg::Vec3d(0, 1, 0)), 1e-12);
}
