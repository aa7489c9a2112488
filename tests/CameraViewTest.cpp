// Where the camera looked, drawn: the view's rays cast onto a ground handed in, its footprint
// following that ground, rays above the horizon cut, the attitude at the clock, and --fov.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/CommandLine.h"
#include "geo/Geodesy.h"
#include "player/CameraOnClock.h"
#include "player/PlayerOptions.h"
#include "record/RecordOptions.h"
#include "scene/CameraView.h"

namespace
{

const double Latitude = 47.0, Longitude = 8.0;
const double MetresPerLatitudeDegree = EarthRadius * RadiansPerDegree;

MapFrameValues Frame()
{
    return MapFrameOn(Latitude, Longitude);
}

// Metres north and east of the frame's centre of a point in frame units.
double North(const MapFrameValues& frame, const osg::Vec3d& point)
{
    return (GridRowLatitude(point.x() + frame.CI) - Latitude) * MetresPerLatitudeDegree;
}

double East(const MapFrameValues& frame, const osg::Vec3d& point)
{
    return (GridColumnLongitude(point.y() + frame.CJ) - Longitude) * MetresPerLatitudeDegree * std::cos(Latitude * RadiansPerDegree);
}

osg::Vec3d Above(const MapFrameValues& frame, double metres)
{
    const osg::Vec3f p = ScenePosition(frame, Latitude * 60.0, Longitude * 60.0, metres);
    return osg::Vec3d(p);
}

CameraPose StraightDown(double fovDegrees)
{
    CameraPose pose;
    pose.pitch = -90.0 * RadiansPerDegree;
    pose.horizontalFov = pose.verticalFov = fovDegrees * RadiansPerDegree;
    return pose;
}

TimedGimbal Gimbal(double time, double pitchDegrees, double yawDegrees)
{
    TimedGimbal g;
    g.time = time;
    g.pitch = pitchDegrees * RadiansPerDegree;
    g.yaw = yawDegrees * RadiansPerDegree;
    return g;
}

} // namespace

TEST(CameraViewTest, StraightDownFrom100MetresWith90DegreesSeesA200MetreSquareOnFlatGround)
{
    const MapFrameValues frame = Frame();
    const GroundHeight flat = [](double, double) { return 0.0; };
    const ViewFootprint view = CastFootprint(frame, flat, 0.0, Above(frame, 100.0), StraightDown(90.0));
    // Yaw 0: the top of the picture is north, its right east.
    const double north[4] = {100.0, 100.0, -100.0, -100.0}, east[4] = {-100.0, 100.0, 100.0, -100.0};
    for (size_t c = 0; c < 4; ++c)
    {
        EXPECT_TRUE(view.grounded[c]) << c;
        EXPECT_NEAR(North(frame, view.corners[c]), north[c], 0.5) << c;
        EXPECT_NEAR(East(frame, view.corners[c]), east[c], 0.5) << c;
        EXPECT_NEAR(view.corners[c].z(), 0.0, 1e-4 * frame.k) << c;
    }
    ASSERT_EQ(view.outline.size(), 4u * (FootprintPointsPerEdge - 1));
    // The view turned to the east: its top edge lies along the east side.
    CameraPose turned = StraightDown(90.0);
    turned.yaw = 90.0 * RadiansPerDegree;
    const ViewFootprint east90 = CastFootprint(frame, flat, 0.0, Above(frame, 100.0), turned);
    EXPECT_NEAR(East(frame, east90.corners[0]), 100.0, 0.5);
    EXPECT_NEAR(North(frame, east90.corners[0]), 100.0, 0.5) << "the top left corner, north-east";
    EXPECT_NEAR(North(frame, east90.corners[1]), -100.0, 0.5);
}

TEST(CameraViewTest, TheFootprintFollowsASlopeAndRaysAboveTheHorizonAreCut)
{
    const MapFrameValues frame = Frame();
    // Rising northwards one metre in two: the view meets it at 66.7 m to the north (100 - t =
    // t / 2) and at 200 m to the south (100 - t = -t / 2).
    const GroundHeight slope = [](double latitude, double) { return (latitude - Latitude) * MetresPerLatitudeDegree / 2.0; };
    const ViewFootprint view = CastFootprint(frame, slope, 0.0, Above(frame, 100.0), StraightDown(90.0));
    EXPECT_NEAR(North(frame, view.corners[0]), 200.0 / 3.0, 0.5);
    EXPECT_NEAR(North(frame, view.corners[3]), -200.0, 0.5);
    EXPECT_NEAR(East(frame, view.corners[1]), 200.0 / 3.0, 0.5) << "the view's sides narrow uphill";
    for (const osg::Vec3d& point : view.outline)
        ASSERT_NEAR(point.z() / frame.k, slope(GridRowLatitude(point.x() + frame.CI), 0.0), 0.05) << "every point of the outline on the ground";

    // Looking 10 degrees up with 20 degrees across: every ray climbs, and ends at the reach.
    CameraPose up;
    up.pitch = 10.0 * RadiansPerDegree;
    up.horizontalFov = up.verticalFov = 20.0 * RadiansPerDegree;
    const osg::Vec3d eye = Above(frame, 100.0);
    const ViewFootprint sky = CastFootprint(frame, [](double, double) { return 0.0; }, 0.0, eye, up);
    for (size_t c = 0; c < 4; ++c)
    {
        EXPECT_FALSE(sky.grounded[c]) << c;
        EXPECT_NEAR((sky.corners[c] - eye).length() / frame.k, ViewReach, 1e-3) << c;
    }
    // Where the ground function knows nothing, the fallback height is the ground.
    const ViewFootprint unknown = CastFootprint(frame, [](double, double) { return NAN; }, 40.0, eye, StraightDown(90.0));
    EXPECT_NEAR(North(frame, unknown.corners[0]), 60.0, 0.5);
}

TEST(CameraViewTest, TheAttitudeAtTheClockAndTheDrawingItMoves)
{
    // Between two records the shorter way round; across a long gap or beyond the ends, none.
    const std::vector<TimedGimbal> gimbal = {Gimbal(10.0, -20.0, 170.0), Gimbal(11.0, -40.0, -170.0), Gimbal(30.0, -40.0, 0.0)};
    TimedGimbal at;
    ASSERT_TRUE(GimbalAt(gimbal, 10.5, &at));
    EXPECT_NEAR(at.pitch, -30.0 * RadiansPerDegree, 1e-12);
    EXPECT_NEAR(std::fabs(at.yaw), Pi, 1e-12) << "through south, not north";
    EXPECT_FALSE(GimbalAt(gimbal, 20.0, &at)) << "19 s between records";
    EXPECT_TRUE(GimbalAt(gimbal, 31.0, &at));
    EXPECT_FALSE(GimbalAt(gimbal, 40.0, &at));
    EXPECT_FALSE(GimbalAt({}, 10.0, &at));

    // The record's own angles of view, else the diagonal's over a 16:9 picture.
    TimedGimbal lens = Gimbal(0.0, -90.0, 0.0);
    lens.horizontalFov = 1.0;
    lens.verticalFov = 0.5;
    EXPECT_DOUBLE_EQ(PoseOfGimbal(lens, 1.2).horizontalFov, 1.0);
    const CameraPose fallback = PoseOfGimbal(Gimbal(0.0, -90.0, 0.0), 84.0 * RadiansPerDegree);
    EXPECT_NEAR(std::hypot(std::tan(fallback.horizontalFov / 2.0), std::tan(fallback.verticalFov / 2.0)), std::tan(42.0 * RadiansPerDegree), 1e-12);
    EXPECT_NEAR(std::tan(fallback.horizontalFov / 2.0) / std::tan(fallback.verticalFov / 2.0), 16.0 / 9.0, 1e-12);

    const MapFrameValues frame = Frame();
    CameraOnClock camera(frame, [](double, double) { return 0.0; }, 0.0, 84.0);
    EXPECT_EQ(camera.Root()->getNodeMask(), 0u) << "nothing drawn before the first attitude";
    camera.ShowAt(gimbal, 10.5, Above(frame, 100.0));
    EXPECT_NE(camera.Root()->getNodeMask(), 0u);
    EXPECT_NEAR(camera.View().Footprint().corners[0].z(), 0.0, 1e-3);
    camera.ShowAt(gimbal, 20.0, Above(frame, 100.0));
    EXPECT_EQ(camera.Root()->getNodeMask(), 0u) << "hidden in a gap";
    camera.Toggle();
    camera.ShowAt(gimbal, 10.5, Above(frame, 100.0));
    EXPECT_EQ(camera.Root()->getNodeMask(), 0u) << "switched off";
    camera.Toggle();
    camera.ShowAt(gimbal, 10.5, Above(frame, 100.0));
    EXPECT_NE(camera.Root()->getNodeMask(), 0u);
}

TEST(CameraViewTest, FovIsReadWithinItsBounds)
{
    const auto parse = [](const char* value, PlayerOptions* player) {
        RecordOptions options;
        std::string words[] = {"player", "flight.log", "--fov", value};
        char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data()};
        return ParsePlayerCommandLine(4, argv, player, &options);
    };
    PlayerOptions player;
    EXPECT_EQ(player.view.cameraFov, DefaultCameraFov);
    ASSERT_TRUE(parse("60", &player).run);
    EXPECT_EQ(player.view.cameraFov, 60.0);
    for (const char* wrong : {"1", "170", "0.5", "200", "wide"})
    {
        PlayerOptions refused;
        const CommandLineOutcome outcome = parse(wrong, &refused);
        EXPECT_FALSE(outcome.run) << wrong;
        EXPECT_EQ(outcome.status, PlayerUsageStatus) << wrong;
        EXPECT_NE(outcome.message.find("--fov"), std::string::npos) << outcome.message;
    }
}
