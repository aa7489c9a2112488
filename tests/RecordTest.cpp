// The recording's arithmetic without a window: which frames show which moment, how the
// chase camera turns, what the overview holds, and the command line.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <osg/Matrixd>

#include "record/FrameSchedule.h"
#include "record/RecordCameras.h"
#include "record/RecordOptions.h"
#include "record/VideoOutput.h"
#include "geo/MapFrame.h"
#include "log/SampleTable.h"

namespace
{
// Rows 0.2 s apart from log time 100 s, as the demo flight's five samples a second.
std::vector<SampleRow> RowsEvery(double step, int count, double start = 100.0)
{
    std::vector<SampleRow> rows(count, SampleRow{});
    for (int i = 0; i < count; ++i)
        rows[i].gps_time = start + i * step;
    return rows;
}

TEST(FrameScheduleTest, FromToSpeedAndFpsGiveTheFramesAndTheLastLandsOnTheEnd)
{
    const std::vector<SampleRow> rows = RowsEvery(0.2, 501); // 100 s of flight
    FrameSchedule schedule;
    std::string error;
    // 10 s of log time at x3 is 3.33 s of video: 100 steps of 0.1 s, so 101 frames, the
    // last exactly on --to.
    const double from = 120.0;
    const double to = 130.0;
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, 0.2, 3.0, 30, &from, &to, &schedule, &error)) << error;
    EXPECT_DOUBLE_EQ(schedule.first, 100.0);
    EXPECT_EQ(schedule.frameCount, 101);
    EXPECT_NEAR(schedule.PositionOf(schedule.frameCount - 1), 150.0, 1e-9);
    EXPECT_NEAR(schedule.PositionOf(1) - schedule.PositionOf(0), 0.5, 1e-12) << "0.1 s of log, half a row, a frame";

    // A span that is no whole number of steps ends on the last step before its end.
    const double odd = 130.05;
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, 0.2, 3.0, 30, &from, &odd, &schedule, &error));
    EXPECT_EQ(schedule.frameCount, 101);
    EXPECT_LE(schedule.PositionOf(schedule.frameCount - 1), schedule.last);

    // The whole flight at the defaults, and at half speed with 24 frames a second.
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, 0.2, 3.0, 30, nullptr, nullptr, &schedule, &error));
    EXPECT_EQ(schedule.frameCount, 1001);
    EXPECT_NEAR(schedule.VideoSeconds(30), 1001.0 / 30.0, 1e-12);
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, 0.2, 0.5, 24, nullptr, nullptr, &schedule, &error));
    EXPECT_EQ(schedule.frameCount, 4801);
}

TEST(FrameScheduleTest, LogTimesOutsideTheFlightAreHeldOrRefused)
{
    std::vector<SampleRow> rows = RowsEvery(0.2, 11);
    EXPECT_EQ(PositionAtLogTime(rows.data(), 11, 50.0), 0.0);
    EXPECT_EQ(PositionAtLogTime(rows.data(), 11, 500.0), 10.0);
    EXPECT_NEAR(PositionAtLogTime(rows.data(), 11, 100.5), 2.5, 1e-9);
    // A time that steps back (a logger's restart) is passed over until the time is reached.
    rows[4].gps_time = 90.0;
    EXPECT_NEAR(PositionAtLogTime(rows.data(), 11, 101.1), 5.5, 1e-9);

    FrameSchedule schedule;
    std::string error;
    const double late = 200.0;
    EXPECT_FALSE(ScheduleRecording(rows.data(), 11, 0.2, 3.0, 30, &late, nullptr, &schedule, &error));
    EXPECT_NE(error.find("after the flight"), std::string::npos) << error;
    const double early = 10.0;
    EXPECT_FALSE(ScheduleRecording(rows.data(), 11, 0.2, 3.0, 30, nullptr, &early, &schedule, &error));
    EXPECT_NE(error.find("before the flight"), std::string::npos) << error;
    // One row is one frame, whatever the span.
    ASSERT_TRUE(ScheduleRecording(rows.data(), 1, 0.2, 3.0, 30, nullptr, nullptr, &schedule, &error));
    EXPECT_EQ(schedule.frameCount, 1);
}

TEST(ChaseCameraTest, ANinetyDegreeTurnIsFollowedWithoutOvershootAtAnyFrameRate)
{
    const double target = Pi / 2.0;
    for (int fps : {10, 30, 60})
    {
        double course = 0.0;
        double previous = 0.0;
        for (int frame = 1; frame <= 10 * fps; ++frame) // 10 recorded seconds
        {
            course = FollowCourse(course, target, 1.0 / fps);
            ASSERT_GE(course, previous) << "turns back at frame " << frame;
            ASSERT_LE(course, target) << "overshoots at frame " << frame << ", " << fps << " fps";
            previous = course;
            if (frame == fps) // after one recorded second: partway, not jumped there
            {
                EXPECT_GT(course, 0.2 * target);
                EXPECT_LT(course, 0.8 * target);
            }
        }
        EXPECT_NEAR(course, target, 0.01 * target);
    }
    // The same second of turning whatever the frame rate: a video at 60 fps must not
    // turn faster than one at 10.
    double at10 = 0.0;
    double at60 = 0.0;
    for (int i = 0; i < 10; ++i)
        at10 = FollowCourse(at10, target, 0.1);
    for (int i = 0; i < 60; ++i)
        at60 = FollowCourse(at60, target, 1.0 / 60.0);
    EXPECT_NEAR(at10, at60, 1e-9);
}

TEST(ChaseCameraTest, TurnsTheShortWayAndDampsJitter)
{
    // From 350 degrees to 10: twenty degrees on, not 340 back.
    const double from = 350.0 * Pi / 180.0;
    const double to = 10.0 * Pi / 180.0;
    const double turned = FollowCourse(from, to, 100.0);
    EXPECT_NEAR(std::remainder(turned - to, TwoPi), 0.0, 1e-9);
    EXPECT_GT(turned, from);

    // A course that flickers 10 degrees either side, five times a second, moves the camera
    // far less than that.
    double course = 0.0;
    double widest = 0.0;
    for (int sample = 0; sample < 50; ++sample)
    {
        course = FollowCourse(course, (sample % 2 ? 10.0 : -10.0) * Pi / 180.0, 0.2);
        if (sample > 10)
            widest = std::max(widest, std::fabs(course));
    }
    EXPECT_LT(widest, 1.5 * Pi / 180.0);
}

TEST(ChaseCameraTest, SitsBehindAndAboveAndKeepsOffTheGround)
{
    const double unitsPerMetre = 0.01;
    ChaseCamera chase(unitsPerMetre);
    const osg::Vec3d aircraft(10.0, 20.0, 5.0);
    // Moving along +y: the camera lies towards -y, above.
    osg::Matrixd view = chase.View(aircraft, Pi / 2.0, true, 0.1, nullptr);
    osg::Vec3d eye = osg::Matrixd::inverse(view).getTrans();
    EXPECT_NEAR(eye.x(), aircraft.x(), 1e-9);
    EXPECT_NEAR(eye.y(), aircraft.y() - ChaseDistance * unitsPerMetre, 1e-9);
    EXPECT_NEAR(eye.z(), aircraft.z() + ChaseHeight * unitsPerMetre, 1e-9);
    // Hovering, the course is kept whatever the noise says.
    chase.View(aircraft, 0.3, false, 0.1, nullptr);
    EXPECT_DOUBLE_EQ(chase.Course(), Pi / 2.0);
    // Ground higher than the camera would be lifts it above the ground.
    view = chase.View(aircraft, Pi / 2.0, true, 0.1, [](double, double) { return 6.0; });
    eye = osg::Matrixd::inverse(view).getTrans();
    EXPECT_NEAR(eye.z(), 6.0 + ChaseClearance * unitsPerMetre, 1e-9);
}

// Where a frame point appears: normalised device coordinates, -1 to 1 across and up.
osg::Vec3d Project(const osg::Matrixd& view, double fov, double aspect, const osg::Vec3d& point)
{
    return point * view * osg::Matrixd::perspective(fov, aspect, 0.001, 1e6);
}

TEST(OverviewTest, HoldsTheWholeTrackCloseToTheEdgesAtAnyShape)
{
    // An L-shaped track 2 km by 500 m with a climb, in units of 0.01 per metre.
    std::vector<osg::Vec3d> points;
    for (int i = 0; i <= 100; ++i)
        points.push_back(osg::Vec3d(i * 0.2, 0.0, 4.0 + i * 0.01));
    for (int i = 0; i <= 25; ++i)
        points.push_back(osg::Vec3d(20.0, i * 0.2, 5.0));
    for (double aspect : {16.0 / 9.0, 1.0, 9.0 / 16.0})
    {
        for (double upShare : {0.9, 0.75})
        {
            const OverviewFraming framing = FrameOverview(points, 0.01, 40.0, aspect, upShare);
            double widest = 0.0;
            for (const osg::Vec3d& point : points)
            {
                const osg::Vec3d at = Project(framing.view, 40.0, aspect, point);
                ASSERT_LE(std::fabs(at.x()), 0.9 + 1e-9) << "aspect " << aspect;
                ASSERT_LE(std::fabs(at.y()), upShare + 1e-9) << "aspect " << aspect;
                widest = std::max({widest, std::fabs(at.x()) / 0.9, std::fabs(at.y()) / upShare});
            }
            EXPECT_GT(widest, 0.95) << "the track is framed loosely at aspect " << aspect;
        }
    }
}

TEST(OverviewTest, ASinglePointShowsItsSurroundings)
{
    const double unitsPerMetre = 0.01;
    const std::vector<osg::Vec3d> hover(3, osg::Vec3d(1.0, 2.0, 3.0));
    const OverviewFraming framing = FrameOverview(hover, unitsPerMetre, 40.0, 16.0 / 9.0);
    ASSERT_TRUE(std::isfinite(framing.distance));
    // The least extent fills the frame's height at most.
    const double heightSeen = 2.0 * framing.distance * std::tan(20.0 * Pi / 180.0);
    EXPECT_GE(heightSeen, OverviewLeastExtent * unitsPerMetre);
    const osg::Vec3d at = Project(framing.view, 40.0, 16.0 / 9.0, hover[0]);
    EXPECT_NEAR(at.x(), 0.0, 1e-6);
    EXPECT_NEAR(at.y(), 0.0, 1e-6);
}

std::vector<char*> Arguments(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    return argv;
}

TEST(RecordOptionsTest, RecordingOptionsAreTakenOutAndTheRestKeepsItsOrder)
{
    std::vector<std::string> words = {"player", "flight.log", "--record", "out.mp4", "--samples", "1-50",
                                      "--camera", "overview", "--size", "640x360", "--fps", "25",
                                      "--speed", "8", "--from", "54500.5", "--to", "54600", "--no-hud"};
    std::vector<char*> argv = Arguments(words);
    RecordOptions options;
    std::vector<const char*> rest;
    std::string error;
    ASSERT_TRUE(ParseRecordOptions(static_cast<int>(argv.size()), argv.data(), &options, &rest, &error)) << error;
    ASSERT_EQ(rest.size(), 3u);
    EXPECT_STREQ(rest[0], "flight.log");
    EXPECT_STREQ(rest[1], "--samples");
    EXPECT_STREQ(rest[2], "1-50");
    EXPECT_TRUE(options.record);
    EXPECT_EQ(options.output, "out.mp4");
    EXPECT_EQ(options.camera, RecordCamera::Overview);
    EXPECT_EQ(options.width, 640);
    EXPECT_EQ(options.height, 360);
    EXPECT_EQ(options.fps, 25);
    EXPECT_EQ(options.speed, 8.0);
    EXPECT_TRUE(options.hasFrom && options.hasTo);
    EXPECT_EQ(options.from, 54500.5);
    EXPECT_FALSE(options.hud);

    std::vector<std::string> plain = {"player", "flight.log"};
    argv = Arguments(plain);
    ASSERT_TRUE(ParseRecordOptions(2, argv.data(), &options, &rest, &error));
    EXPECT_FALSE(options.record);
    EXPECT_EQ(options.width, 1280);
    EXPECT_EQ(options.fps, 30);
    EXPECT_EQ(options.speed, 3.0);
    EXPECT_TRUE(options.hud);
}

TEST(RecordOptionsTest, WrongOptionsAreRefusedWithTheReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--camera", "chase"}, "need --record"},
        {{"--record", "a.mp4", "--record", "b.mp4"}, "twice"},
        {{"--record", "a.mp4", "--size", "641x360"}, "even"},
        {{"--record", "a.mp4", "--size", "640"}, "WIDTHxHEIGHT"},
        {{"--record", "a.mp4", "--size", "99999x360"}, "WIDTHxHEIGHT"},
        {{"--record", "a.mp4", "--fps", "0"}, "frames a second"},
        {{"--record", "a.mp4", "--speed", "100"}, "0.25 to 64"},
        {{"--record", "a.mp4", "--from", "nan"}, "log time"},
        {{"--record", "a.mp4", "--from", "20", "--to", "10"}, "after --to"},
        {{"--record", "a.mp4", "--camera", "cockpit"}, "chase or overview"},
        {{"--record"}, "needs a value"},
    };
    for (const auto& [options, reason] : cases)
    {
        std::vector<std::string> words = {"player", "flight.log"};
        words.insert(words.end(), options.begin(), options.end());
        std::vector<char*> argv = Arguments(words);
        RecordOptions parsed;
        std::vector<const char*> rest;
        std::string error;
        EXPECT_FALSE(ParseRecordOptions(static_cast<int>(argv.size()), argv.data(), &parsed, &rest, &error)) << words[2];
        EXPECT_NE(error.find(reason), std::string::npos) << "'" << error << "' does not say " << reason;
    }
    // Frames in a folder may have odd sides: no encoder halves them.
    std::vector<std::string> words = {"player", "flight.log", "--record", "frames/", "--size", "641x361"};
    std::vector<char*> argv = Arguments(words);
    RecordOptions parsed;
    std::vector<const char*> rest;
    std::string error;
    EXPECT_TRUE(ParseRecordOptions(static_cast<int>(argv.size()), argv.data(), &parsed, &rest, &error)) << error;
}

TEST(VideoOutputTest, ThePartialNameKeepsTheExtensionTheEncoderGoesBy)
{
    EXPECT_EQ(PartialVideoName("out/demo.mp4"), "out/demo.partial.mp4");
    EXPECT_EQ(PartialVideoName("demo"), "demo.partial");
    EXPECT_EQ(PartialVideoName("v1.0/demo"), "v1.0/demo.partial");
    EXPECT_EQ(PartialVideoName(".hidden"), ".hidden.partial");
}
} // namespace
