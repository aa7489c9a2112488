#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "player/VehicleModels.h"

namespace
{
struct KindShape
{
    VehicleKind kind;
    double least, most; // metres: the true bounding radius the model should have
    size_t rotors;
};

// Sizes a pilot would recognise: a small quadrotor's half metre, a paraglider's canopy of
// about 11 m span seven metres overhead, a fifteen-metre sailplane.
const KindShape Shapes[] = {
    {VehicleKind::Quadrotor, 0.25, 0.5, 4},  {VehicleKind::Hexarotor, 0.5, 0.9, 6},   {VehicleKind::Octorotor, 0.7, 1.1, 8},
    {VehicleKind::Helicopter, 1.0, 1.6, 2},  {VehicleKind::Plane, 0.9, 1.3, 1},       {VehicleKind::VtolQuadplane, 1.2, 1.6, 5},
    {VehicleKind::Tailsitter, 0.6, 0.9, 2},  {VehicleKind::Paraglider, 6.0, 10.0, 0}, {VehicleKind::HangGlider, 4.5, 6.5, 0},
    {VehicleKind::Sailplane, 7.0, 9.0, 0},   {VehicleKind::Rover, 0.3, 0.7, 0},       {VehicleKind::Boat, 0.8, 1.2, 0},
};
} // namespace

TEST(VehicleModels, EachKindHasAModelOfItsSizeWithinTheTriangleBudget)
{
    for (const KindShape& shape : Shapes)
    {
        SCOPED_TRACE(VehicleKindWord(shape.kind));
        const VehicleModel model = BuildVehicleModel(shape.kind);
        EXPECT_GT(model.triangles, 100);
        EXPECT_LT(model.triangles, 4000);
        EXPECT_GE(model.radius, shape.least);
        EXPECT_LE(model.radius, shape.most);
        EXPECT_EQ(model.rotors.size(), shape.rotors);
        // Built about the plane of the nose and up: nothing leans to a side.
        const osg::BoundingSphere bound = model.node->getBound();
        EXPECT_LT(std::fabs(bound.center().x()), 0.05 * model.radius);
    }
    EXPECT_EQ(BuildVehicleModel(VehicleKind::Unknown).triangles, 0);
}

TEST(VehicleModels, RotorsTurnOnlyWhileTheirMotorsRun)
{
    VehicleModel quad = BuildVehicleModel(VehicleKind::Quadrotor);
    const double idle[4] = {1000.0, 1000.0, 1000.0, 1000.0};
    const double flying[4] = {1450.0, 1460.0, 1440.0, 1455.0};
    EXPECT_FALSE(MotorsAt(VehicleKind::Quadrotor, idle, true).lift);
    EXPECT_TRUE(MotorsAt(VehicleKind::Quadrotor, flying, true).lift);
    EXPECT_TRUE(MotorsAt(VehicleKind::Quadrotor, idle, false).lift); // no outputs logged: they turn

    TurnRotors(quad.rotors, 0.01, false, false);
    EXPECT_EQ(quad.rotors[0].angle, 0.0);
    TurnRotors(quad.rotors, 0.01, true, false);
    EXPECT_NE(quad.rotors[0].angle, 0.0);
    // Neighbours turn opposite ways, about their own hubs.
    EXPECT_LT(quad.rotors[0].angle * quad.rotors[1].angle, 0.0);
    EXPECT_EQ(quad.rotors[0].spinner->getMatrix().getTrans(), quad.rotors[0].hub);

    // A plane's propeller follows the throttle, the third output; the surfaces' centred
    // pulses on the others do not run it.
    const double gliding[4] = {1500.0, 1500.0, 1000.0, 1500.0};
    EXPECT_FALSE(MotorsAt(VehicleKind::Plane, gliding, true).thrust);
    const double powered[4] = {1500.0, 1500.0, 1600.0, 1500.0};
    EXPECT_TRUE(MotorsAt(VehicleKind::Plane, powered, true).thrust);
}

TEST(VehicleModels, SmallVehiclesAreEnlargedToBeSeenUnlessAScaleIsGiven)
{
    std::vector<VehicleRotor> rotors;
    std::string message;
    const double k = 0.5; // frame units per metre
    const VehicleModel quad = BuildVehicleModel(VehicleKind::Quadrotor);
    osg::ref_ptr<osg::MatrixTransform> shown = BuildFlightModel(VehicleKind::Quadrotor, ModelChoice(), k, &rotors, &message);
    ASSERT_TRUE(shown);
    EXPECT_EQ(rotors.size(), 4u);
    EXPECT_NEAR(shown->getMatrix().getScale().x(), k * LeastShownRadius / quad.radius, 1e-9);

    const VehicleModel sailplane = BuildVehicleModel(VehicleKind::Sailplane);
    shown = BuildFlightModel(VehicleKind::Sailplane, ModelChoice(), k, &rotors, &message);
    EXPECT_NEAR(shown->getMatrix().getScale().x(), k, 1e-9); // larger than the least: true size

    ModelChoice choice;
    choice.scale = 2.0;
    choice.rotate[0] = 90.0; // a nose along -x turned clockwise comes forward... along +y
    shown = BuildFlightModel(VehicleKind::Quadrotor, choice, k, &rotors, &message);
    const osg::Vec3d nose = osg::Vec3d(-1.0, 0.0, 0.0) * shown->getMatrix();
    EXPECT_NEAR(nose.y(), 2.0 * k, 1e-9);
    EXPECT_NEAR(nose.x(), 0.0, 1e-9);

    EXPECT_FALSE(BuildFlightModel(VehicleKind::Unknown, ModelChoice(), k, &rotors, &message));
    EXPECT_TRUE(message.empty());
    choice.file = "/nonexistent/model.osgt";
    EXPECT_FALSE(BuildFlightModel(VehicleKind::Quadrotor, choice, k, &rotors, &message));
    EXPECT_NE(message.find("cannot read '/nonexistent/model.osgt'"), std::string::npos);
}
