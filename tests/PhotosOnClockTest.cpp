// The photos drawn: a camera straight down through the airframe, the pose each photo takes
// (the gimbal's, the logged attitude, the aircraft's), the footprints on the ground and the
// split between those taken by the clock and the rest, and --photo-camera.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
#include "player/PhotosOnClock.h"
#include "player/PlayerOptions.h"
#include "record/RecordOptions.h"

namespace
{

const double Degree = RadiansPerDegree;

// The direction (north, east, down) of the ray through the picture's point.
void Ray(const CameraPose& pose, double u, double v, double* north, double* east, double* down)
{
    const osg::Vec3d ray = ViewRay(pose, u, v); // x south, y east, z up
    *north = -ray.x();
    *east = ray.y();
    *down = -ray.z();
}

TimedPhoto Photo(double time, double north)
{
    TimedPhoto p;
    p.time = time;
    p.latitude = 47.0 + north / (EarthRadius * RadiansPerDegree);
    p.longitude = 8.0;
    p.altitude = 100.0;
    return p;
}

} // namespace

TEST(PhotosOnClockTest, ACameraFixedLookingDownTiltsWithTheAirframe)
{
    double n = 0.0, e = 0.0, d = 0.0;
    // Level, heading east: straight down, the picture's top to the east, its right to the south.
    const CameraPose level = NadirPoseOfBody(0.0, 0.0, 90.0 * Degree, 0.5, 0.4);
    Ray(level, 0.0, 0.0, &n, &e, &d);
    EXPECT_NEAR(d, 1.0, 1e-9);
    Ray(level, 0.0, -1.0, &n, &e, &d);
    EXPECT_GT(e, 0.1) << "top towards the nose";
    EXPECT_NEAR(n, 0.0, 1e-9);
    Ray(level, 1.0, 0.0, &n, &e, &d);
    EXPECT_LT(n, -0.1) << "right towards the right wing";
    // Right wing down by 20 degrees, heading north: the centre looks 20 degrees to the left.
    const CameraPose banked = NadirPoseOfBody(20.0 * Degree, 0.0, 0.0, 0.5, 0.4);
    Ray(banked, 0.0, 0.0, &n, &e, &d);
    EXPECT_NEAR(std::atan2(-e, d), 20.0 * Degree, 1e-9);
    EXPECT_NEAR(n, 0.0, 1e-9);
    // Nose up by 10 degrees: it looks 10 degrees ahead.
    const CameraPose climbing = NadirPoseOfBody(0.0, 10.0 * Degree, 0.0, 0.5, 0.4);
    Ray(climbing, 0.0, 0.0, &n, &e, &d);
    EXPECT_NEAR(std::atan2(n, d), 10.0 * Degree, 1e-9);
}

TEST(PhotosOnClockTest, EachPhotoTakesTheGimbalElseItsAttitudeElseTheAircrafts)
{
    std::vector<SampleRow> rows(2);
    rows[0].gps_time = 0.0;
    rows[1].gps_time = 100.0;
    for (SampleRow& row : rows)
        row.gps_curheading = LogHeading(90.0 * Degree);
    TimedPhoto photo = Photo(50.0, 0.0);
    double n = 0.0, e = 0.0, d = 0.0;
    // The aircraft's heading from the rows.
    Ray(PhotoPose(photo, {}, rows, 0.5, 0.4), 0.0, -1.0, &n, &e, &d);
    EXPECT_GT(e, 0.1);
    // The attitude logged with it wins over the rows'.
    photo.roll = 0.0;
    photo.pitch = 0.0;
    photo.yaw = 180.0 * Degree;
    Ray(PhotoPose(photo, {}, rows, 0.5, 0.4), 0.0, -1.0, &n, &e, &d);
    EXPECT_LT(n, -0.1);
    // A gimbal at its time wins over both.
    TimedGimbal gimbal;
    gimbal.time = 50.0;
    gimbal.pitch = -45.0 * Degree;
    gimbal.yaw = 0.0;
    Ray(PhotoPose(photo, {gimbal}, rows, 0.5, 0.4), 0.0, 0.0, &n, &e, &d);
    EXPECT_NEAR(n, d, 1e-9) << "45 degrees down to the north";
}

TEST(PhotosOnClockTest, FootprintsLieOnTheGroundAndTheClockSplitsTakenFromTheRest)
{
    const MapFrameValues frame = MapFrameOn(47.0, 8.0);
    const CameraModel* camera = FindCameraModel("survey-1in-20mp");
    ASSERT_NE(camera, nullptr);
    double horizontal = 0.0, vertical = 0.0;
    PhotoFieldOfView(camera, 84.0, &horizontal, &vertical);
    EXPECT_NEAR(std::tan(horizontal / 2.0), 13.2 / 17.6, 1e-12);
    // Heading north, 80 m above flat ground at 20 m: 120 m across, 80 m along.
    std::vector<TimedPhoto> photos = {Photo(10.0, 0.0), Photo(12.0, 30.0), Photo(14.0, 60.0)};
    for (TimedPhoto& p : photos)
        p.roll = p.pitch = p.yaw = 0.0;
    PhotosOnClock drawn(frame, [](double, double) { return 20.0; }, 0.0, photos, {}, {}, horizontal, vertical);
    ASSERT_EQ(drawn.Count(), 3u);
    const ViewFootprint& first = drawn.Footprint(0);
    const double metres = 1.0 / frame.k;
    EXPECT_NEAR((first.corners[0] - first.corners[1]).length() * metres, 120.0, 0.5) << "top edge across the track";
    EXPECT_NEAR((first.corners[1] - first.corners[2]).length() * metres, 80.0, 0.5) << "right edge along it";
    for (const osg::Vec3d& point : first.outline)
        ASSERT_NEAR(point.z() * metres, 20.0, 0.05);
    EXPECT_EQ(drawn.Taken(), 0u);
    drawn.ShowAt(12.0);
    EXPECT_EQ(drawn.Taken(), 2u) << "a photo taken at the clock's time is taken";
    drawn.ShowAt(100.0);
    EXPECT_EQ(drawn.Taken(), 3u);
    drawn.ShowAt(11.0);
    EXPECT_EQ(drawn.Taken(), 1u) << "back again when the clock goes back";
}

TEST(PhotosOnClockTest, PhotoCameraIsOneOfTheTable)
{
    const auto parse = [](const char* value, PlayerOptions* player) {
        std::vector<std::string> words = {"player", "flight.log", "--photo-camera", value};
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        RecordOptions options;
        return ParsePlayerCommandLine(static_cast<int>(argv.size()), argv.data(), player, &options);
    };
    PlayerOptions player;
    EXPECT_EQ(player.view.photoCamera, nullptr);
    ASSERT_TRUE(parse("compact-12mp", &player).run);
    ASSERT_NE(player.view.photoCamera, nullptr);
    EXPECT_EQ(player.view.photoCamera->imageWidth, 4000);
    PlayerOptions refused;
    const CommandLineOutcome outcome = parse("pinhole", &refused);
    EXPECT_FALSE(outcome.run);
    EXPECT_NE(outcome.message.find("--photo-camera"), std::string::npos) << outcome.message;
}
