// The recording's arithmetic without a window: which frames show which moment, where the
// cameras look, and the command line.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <osg/Geode>
#include <osg/Matrixd>
#include <osg/MatrixTransform>
#include <osg/ShapeDrawable>
#include <osgUtil/CullVisitor>
#include <osgUtil/RenderStage>

#include "batch/CommandReport.h"
#include "cli/CommandLine.h"
#include "geo/MapProjection.h"
#include "log/LogAttitude.h"
#include "log/SampleRow.h"
#include "player/NearPlane.h"
#include "player/PlaybackClock.h"
#include "player/PlayerBackdrop.h"
#include "record/FrameSchedule.h"
#include "record/RecordCameras.h"
#include "record/RecordOptions.h"
#include "record/VideoOutput.h"

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

// The player's clock over the rows' times.
PlaybackClock ClockOver(const std::vector<SampleRow>& rows, size_t count)
{
    std::vector<double> times;
    for (size_t i = 0; i < count; ++i)
        times.push_back(rows[i].gps_time);
    return PlaybackClock(times, 0.2, 3.0);
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
    const PlaybackClock clock = ClockOver(rows, 501);
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, clock, 3.0, 30, &from, &to, &schedule, &error)) << error;
    EXPECT_NEAR(clock.PositionAt(schedule.first), 100.0, 1e-9);
    EXPECT_EQ(schedule.frameCount, 101);
    EXPECT_NEAR(clock.PositionAt(schedule.SecondsOf(schedule.frameCount - 1)), 150.0, 1e-9);
    EXPECT_NEAR(clock.PositionAt(schedule.SecondsOf(1)) - clock.PositionAt(schedule.SecondsOf(0)), 0.5, 1e-9) << "0.1 s of log, half a row, a frame";

    // A span that is no whole number of steps ends on the last step before its end.
    const double odd = 130.05;
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, clock, 3.0, 30, &from, &odd, &schedule, &error));
    EXPECT_EQ(schedule.frameCount, 101);
    EXPECT_LE(schedule.SecondsOf(schedule.frameCount - 1), schedule.last);

    // The whole flight at the defaults, and at half speed with 24 frames a second.
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, clock, 3.0, 30, nullptr, nullptr, &schedule, &error));
    EXPECT_EQ(schedule.frameCount, 1001);
    EXPECT_NEAR(schedule.VideoSeconds(30), 1001.0 / 30.0, 1e-12);
    ASSERT_TRUE(ScheduleRecording(rows.data(), 501, clock, 0.5, 24, nullptr, nullptr, &schedule, &error));
    EXPECT_EQ(schedule.frameCount, 4801);
}

TEST(FrameScheduleTest, FramesFollowLogTimeAndALongGapTakesAFixedSpan)
{
    // Rows 0.2 s apart with a short gap of 4 s after the fifth row, and a long one of 30 s
    // after the fifteenth; 20 s of flight before the long gap is shortened.
    std::vector<SampleRow> rows = RowsEvery(0.2, 21);
    for (size_t i = 5; i < rows.size(); ++i)
        rows[i].gps_time += 3.8 + (i >= 15 ? 29.8 : 0.0);
    const PlaybackClock clock = ClockOver(rows, rows.size());
    FrameSchedule schedule;
    std::string error;
    // At x1 and 1 frame a second: one frame a second of log time, the long gap as
    // SkippedGapSeconds.
    ASSERT_TRUE(ScheduleRecording(rows.data(), 21, clock, 1.0, 1, nullptr, nullptr, &schedule, &error)) << error;
    const double flight = rows[20].gps_time - rows[0].gps_time - 30.0 + SkippedGapSeconds;
    EXPECT_NEAR(schedule.last, flight, 1e-9);
    EXPECT_EQ(schedule.frameCount, static_cast<int64_t>(std::floor(flight)) + 1);
    // The short gap plays as logged: 2 s into it the aircraft is half way.
    EXPECT_NEAR(clock.PositionAt(0.8 + 2.0), 4.5, 1e-9);
}

// A moment of the command line on the clock: +S from its start; a log time of the selected
// flight where its row stands on the clock, and beyond its rows as far as beyond their times.
TEST(FrameScheduleTest, MomentsAreTheSelectedFlightsLogTimeOrSecondsFromTheStart)
{
    const std::vector<double> clockTimes = {0.0, 5.0, 30.0, 31.0, 32.0, 50.0};
    const std::vector<double> logTimes = {1000.0, 1001.0, 1002.0}; // standing at 30 to 32 on the clock
    const std::vector<double> rowClockTimes = {30.0, 31.0, 32.0};
    EXPECT_DOUBLE_EQ(ClockTimeOfMoment(12.0, true, clockTimes, logTimes, rowClockTimes), 12.0);
    EXPECT_DOUBLE_EQ(ClockTimeOfMoment(1001.5, false, clockTimes, logTimes, rowClockTimes), 31.5);
    EXPECT_DOUBLE_EQ(ClockTimeOfMoment(990.0, false, clockTimes, logTimes, rowClockTimes), 20.0) << "before its first row";
    EXPECT_DOUBLE_EQ(ClockTimeOfMoment(1010.0, false, clockTimes, logTimes, rowClockTimes), 40.0) << "after its last";
    EXPECT_DOUBLE_EQ(ClockTimeOfMoment(1001.5, false, logTimes, logTimes, logTimes), 1001.5) << "one flight: its log time";
    EXPECT_DOUBLE_EQ(ClockTimeOfMoment(1.5, true, logTimes, logTimes, logTimes), 1001.5);
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
    EXPECT_FALSE(ScheduleRecording(rows.data(), 11, ClockOver(rows, 11), 3.0, 30, &late, nullptr, &schedule, &error));
    EXPECT_NE(error.find("after the flight"), std::string::npos) << error;
    const double early = 10.0;
    EXPECT_FALSE(ScheduleRecording(rows.data(), 11, ClockOver(rows, 11), 3.0, 30, nullptr, &early, &schedule, &error));
    EXPECT_NE(error.find("before the flight"), std::string::npos) << error;
    // One row is one frame, whatever the span.
    ASSERT_TRUE(ScheduleRecording(rows.data(), 1, ClockOver(rows, 1), 3.0, 30, nullptr, nullptr, &schedule, &error));
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

// Test flights are in metres along the frame's axes, 0.01 frame units a metre, with rows
// 0.2 s apart.
const double TestUnitsPerMetre = 0.01;
const double TestRowSeconds = 0.2;

// The nose points along +y unless `noseAt` gives its direction: radians in the frame's x-y
// plane from +x towards +y.
CameraSubject FlightAlong(osg::Vec3d (*metresAt)(double seconds), int32_t rows, double (*noseAt)(double seconds) = nullptr)
{
    CameraSubject subject;
    subject.rows = rows;
    subject.rowSeconds = TestRowSeconds;
    subject.unitsPerMetre = TestUnitsPerMetre;
    subject.aircraftAt = [metresAt, noseAt](double position)
    {
        const double seconds = position * TestRowSeconds;
        const double turn = noseAt ? noseAt(seconds) - Pi / 2.0 : 0.0;
        return osg::Matrixd::rotate(turn, osg::Vec3d(0.0, 0.0, 1.0)) * osg::Matrixd::translate(metresAt(seconds) * TestUnitsPerMetre);
    };
    return subject;
}

// Where a frame point appears: normalised device coordinates, -1 to 1 across and up.
osg::Vec3d Project(const osg::Matrixd& view, double fov, double aspect, const osg::Vec3d& point)
{
    return point * view * osg::Matrixd::perspective(fov, aspect, 0.001, 1e6);
}

osg::Vec3d EyeOf(const osg::Matrixd& view)
{
    return osg::Matrixd::inverse(view).getTrans();
}

// East (+y) at 10 m/s for 20 s, a sharp turn south (+x) for 20 s, then a hover whose
// position wanders by a few centimetres, as a GNSS fix does; 100 m up.
osg::Vec3d EastSouthHover(double seconds)
{
    if (seconds < 20.0)
        return osg::Vec3d(0.0, 10.0 * seconds, 100.0);
    if (seconds < 40.0)
        return osg::Vec3d(10.0 * (seconds - 20.0), 200.0, 100.0);
    const double wander = 0.05 * std::sin(7.0 * seconds);
    return osg::Vec3d(200.0 + wander, 200.0 - wander, 100.0);
}

// The nose of that flight, along its course: east, then south, held in the hover.
double EastSouthHoverNose(double seconds)
{
    return seconds < 20.0 ? Pi / 2.0 : 0.0;
}

// A ridge 110 m high behind the start, where the chase camera sits before the aircraft
// has flown far: higher than the camera would be without it.
double RidgeBehindTheStart(double, double y)
{
    return (y < -10.0 * TestUnitsPerMetre ? 110.0 : 0.0) * TestUnitsPerMetre;
}

TEST(ChaseCameraTest, FollowsBehindAndAboveAlongTheCourseAndKeepsOffTheGround)
{
    CameraSubject subject = FlightAlong(EastSouthHover, 251, EastSouthHoverNose); // 50 s
    subject.groundUnder = RidgeBehindTheStart;
    const std::unique_ptr<RecordingCamera> chase = FindRecordCamera("chase")->make(subject);
    chase->SetUp(CameraPicture{}, nullptr);
    const osg::Vec3d east(0.0, 1.0, 0.0);
    const osg::Vec3d south(1.0, 0.0, 0.0);
    // 30 frames a second at 3 times the recorded speed: 0.1 recorded seconds a frame.
    for (int frame = 0; frame <= 500; ++frame)
    {
        const double position = 0.5 * frame;
        const double seconds = position * TestRowSeconds;
        const osg::Vec3d eye = EyeOf(chase->View(position, 0.1));
        const osg::Vec3d aircraft = subject.aircraftAt(position).getTrans();
        ASSERT_GT(eye.z(), aircraft.z()) << "at " << seconds << " s";
        ASSERT_GE(eye.z(), RidgeBehindTheStart(eye.x(), eye.y()) + ChaseClearance * TestUnitsPerMetre - 1e-9)
            << "too near the ground at " << seconds << " s";
        // Where the course has settled (the first frame takes it as it is; the hover keeps
        // the last one) the camera looks along it from behind.
        const osg::Vec3d* course = seconds < 19.0 ? &east : seconds > 30.0 ? &south : nullptr;
        if (!course)
            continue;
        osg::Vec3d towardsAircraft = aircraft - eye;
        towardsAircraft.z() = 0.0;
        towardsAircraft.normalize();
        ASSERT_GT(towardsAircraft * *course, std::cos(1.0 * Pi / 180.0)) << "not behind the aircraft at " << seconds << " s";
    }
}

// Standing, 100 m up, the fix wandering by up to 1.5 m in every direction, faster than a
// slow walk between two fixes: its course is noise.
osg::Vec3d Wander(double seconds)
{
    return osg::Vec3d(1.5 * std::sin(2.3 * seconds) * std::cos(0.7 * seconds), 1.5 * std::sin(1.9 * seconds + 1.0), 100.0);
}

// 20 s east at 10 m/s, nose first, then the wander there, with a heading made from it.
osg::Vec3d EastThenWander(double seconds)
{
    return seconds < 20.0 ? osg::Vec3d(0.0, 10.0 * seconds, 100.0) : osg::Vec3d(0.0, 200.0, 0.0) + Wander(seconds);
}

double CourseOfEastThenWander(double seconds)
{
    const osg::Vec3d move = EastThenWander(seconds + 0.1) - EastThenWander(seconds - 0.1);
    return std::atan2(move.y(), move.x());
}

TEST(ChaseCameraTest, StandingItLooksAlongTheNoseOrHoldsTheLastCourse)
{
    struct Case
    {
        const char* what;
        osg::Vec3d (*metresAt)(double);
        double (*noseAt)(double);
        bool headingIsCourse;
        double seen; // the direction the camera must look in from 25 s on
    } cases[] = {
        {"a hover nose north-west", Wander, [](double) { return -0.75 * Pi; }, false, -0.75 * Pi},
        {"a track standing after flying east", EastThenWander, CourseOfEastThenWander, true, Pi / 2.0},
    };
    for (const Case& c : cases)
    {
        CameraSubject subject = FlightAlong(c.metresAt, 301, c.noseAt); // 60 s
        subject.headingIsCourse = c.headingIsCourse;
        const std::unique_ptr<RecordingCamera> chase = FindRecordCamera("chase")->make(subject);
        chase->SetUp(CameraPicture{}, nullptr);
        const osg::Vec3d seen(std::cos(c.seen), std::sin(c.seen), 0.0);
        for (double position = 0.0; position <= 300.0; position += 0.5)
        {
            const osg::Vec3d eye = EyeOf(chase->View(position, 0.1));
            osg::Vec3d towardsAircraft = subject.aircraftAt(position).getTrans() - eye;
            towardsAircraft.z() = 0.0;
            towardsAircraft.normalize();
            if (position * TestRowSeconds >= 25.0 && !(towardsAircraft * seen > std::cos(10.0 * Pi / 180.0)))
            {
                ADD_FAILURE() << c.what << ": looks " << std::acos(towardsAircraft * seen) * DegreesPerRadian
                              << " degrees off at " << position * TestRowSeconds << " s";
                break;
            }
        }
    }
}

// 20 s east at 10 m/s, 80 m below a plain 500 m up, as a log with a baro offset puts it.
osg::Vec3d EastUnderThePlain(double seconds)
{
    return osg::Vec3d(0.0, 10.0 * seconds, 420.0);
}

double PlainAt500Metres(double, double)
{
    return 500.0 * TestUnitsPerMetre;
}

TEST(ChaseCameraTest, AnAircraftBelowTheGroundIsFollowedAlongTheGroundNotUnderIt)
{
    CameraSubject subject = FlightAlong(EastUnderThePlain, 101, [](double) { return Pi / 2.0; });
    subject.groundUnder = PlainAt500Metres;
    const std::unique_ptr<RecordingCamera> chase = FindRecordCamera("chase")->make(subject);
    chase->SetUp(CameraPicture{}, nullptr);
    for (double position = 0.0; position <= 100.0; position += 5.0)
    {
        const osg::Matrixd view = chase->View(position, 1.0);
        const osg::Vec3d eye = EyeOf(view);
        ASSERT_GE(eye.z(), PlainAt500Metres(eye.x(), eye.y()) + ChaseClearance * TestUnitsPerMetre - 1e-9);
        // Where the view's centre meets the height the chase keeps, the ground is below it:
        // the picture shows the ground ahead from above, not the plain's underside.
        osg::Vec3d forward = osg::Vec3d(0.0, 0.0, -1.0) * osg::Matrixd::inverse(view) - eye;
        forward.normalize();
        const osg::Vec3d ahead = eye + forward * (ChaseDistance * TestUnitsPerMetre);
        EXPECT_GT(ahead.z(), PlainAt500Metres(ahead.x(), ahead.y())) << "looks into the ground at position " << position;
    }
}

// Culls `scene` as the viewer's cull does for `camera` and returns the projection the camera
// draws with, its near and far planes as the cull settled them.
osg::Matrixd CulledProjection(osg::Camera& camera, osg::Node& scene)
{
    osg::ref_ptr<osgUtil::CullVisitor> cull = new osgUtil::CullVisitor;
    osg::ref_ptr<osgUtil::StateGraph> states = new osgUtil::StateGraph;
    osg::ref_ptr<osgUtil::RenderStage> stage = new osgUtil::RenderStage;
    cull->setStateGraph(states.get());
    cull->setRenderStage(stage.get());
    cull->inheritCullSettings(camera);
    cull->pushViewport(new osg::Viewport(0, 0, 1280, 720));
    cull->pushProjectionMatrix(new osg::RefMatrix(camera.getProjectionMatrix()));
    cull->pushModelViewMatrix(new osg::RefMatrix(camera.getViewMatrix()), osg::Transform::ABSOLUTE_RF);
    scene.accept(*cull);
    cull->popModelViewMatrix();
    cull->popProjectionMatrix();
    osg::Matrixd projection = camera.getProjectionMatrix();
    osgUtil::CullVisitor::value_type nearest = cull->getCalculatedNearPlane();
    osgUtil::CullVisitor::value_type farthest = cull->getCalculatedFarPlane();
    cull->clampProjectionMatrix(projection, nearest, farthest);
    return projection;
}

osg::ref_ptr<osg::Geode> Solid(osg::Shape* shape)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(new osg::ShapeDrawable(shape));
    return geode;
}

TEST(NearPlaneTest, TheChaseViewOfALongFlightClipsNeitherTheAircraftNorTheGroundUnderTheEye)
{
    // A flight 300 km long, 2000 units at a tile per 150 m, flown 25 m over flat ground: its
    // track and ground reach from behind the camera to the end of the flight.
    const double unitsPerMetre = 1.0 / 150.0;
    osg::ref_ptr<osg::Group> root = new osg::Group;
    root->addChild(Solid(new osg::Box(osg::Vec3(0.0f, 1000.0f, -0.05f), 20.0f, 2020.0f, 0.1f)).get());
    root->addChild(Solid(new osg::Box(osg::Vec3(0.0f, 1000.0f, 0.3f), 0.001f, 2000.0f, 0.001f)).get());
    const osg::Vec3d aircraft(0.0, 1000.0, 25.0 * unitsPerMetre);
    osg::ref_ptr<osg::MatrixTransform> mover = new osg::MatrixTransform(osg::Matrixd::translate(aircraft));
    mover->addChild(Solid(new osg::Sphere(osg::Vec3(), static_cast<float>(1.5 * unitsPerMetre))).get()); // a 3 m wingspan
    root->addChild(mover.get());

    // The chase camera: 40 m behind along the long axis, 8 m above.
    const osg::Vec3d eye = aircraft + osg::Vec3d(0.0, -ChaseDistance, ChaseHeight) * unitsPerMetre;
    osg::ref_ptr<osg::Camera> camera = new osg::Camera;
    camera->setProjectionMatrixAsPerspective(40.0, 16.0 / 9.0, 1.0, 10000.0);
    camera->setViewMatrix(osg::Matrixd::lookAt(eye, aircraft, osg::Vec3d(0.0, 0.0, 1.0)));
    KeepNearPlaneInFront(*camera, mover.get(), [](double, double) { return 0.0; });

    const osg::Matrixd projection = CulledProjection(*camera, *root);
    auto depth = [&](const osg::Vec3d& point) { return (point * camera->getViewMatrix() * projection).z(); };
    const double inFront = (ChaseDistance - 1.5) * unitsPerMetre;
    const osg::Vec3d nearestOfTheAircraft = eye + (aircraft - eye) / (aircraft - eye).length() * inFront;
    EXPECT_GT(depth(nearestOfTheAircraft), -1.0) << "the aircraft is cut by the near plane";
    // The ground at the foot of the picture, 29 degrees below the horizontal.
    EXPECT_GT(depth(eye + osg::Vec3d(0.0, 60.0, -33.0) * unitsPerMetre), -1.0) << "the ground in front is cut";
    EXPECT_LT(depth(osg::Vec3d(0.0, 1990.0, 0.0)), 1.0) << "the far end of the flight is cut";
}

TEST(HeadingIsCourseTest, OnlyAHeadingThatIsTheDirectionOfEveryMoveIsTheCourse)
{
    // Rows 0.2 s apart flying a quarter circle of 1 km radius at 20 m/s, then standing.
    std::vector<SampleRow> rows = RowsEvery(0.2, 300);
    const double metresPerMinute = EarthRadius * RadiansPerMinute;
    for (int i = 0; i < 300; ++i)
    {
        const double along = std::min(i, 200) * 0.2 * 20.0 / 1000.0; // radians round the circle
        rows[i].samplenumber = i + 1;
        rows[i].gps_curlat = 60.0 * 46.0 + 1000.0 * std::sin(along) / metresPerMinute;
        rows[i].gps_curlon = 60.0 * 8.0 + 1000.0 * (1.0 - std::cos(along)) / (metresPerMinute * std::cos(46.0 * RadiansPerDegree));
        rows[i].gps_curheading = LogHeading(along); // clockwise from north, as the circle turns
    }
    EXPECT_TRUE(HeadingIsCourse(rows.data(), 300));
    // A nose 5 degrees off the course (drift in a cross wind) is a nose.
    std::vector<SampleRow> drifting = rows;
    for (SampleRow& row : drifting)
        row.gps_curheading += 5.0 * RadiansPerDegree;
    EXPECT_FALSE(HeadingIsCourse(drifting.data(), 300));
    // Standing all along, nothing says it is a course.
    EXPECT_FALSE(HeadingIsCourse(rows.data() + 201, 99));
}

TEST(RecordCameraTableTest, EveryCameraKeepsTheAircraftInThePicture)
{
    // North-west and climbing, 30 s.
    const CameraSubject subject = FlightAlong([](double s) { return osg::Vec3d(-8.0 * s, -6.0 * s, 50.0 + 2.0 * s); }, 151);
    const CameraPicture picture;
    for (const RecordCameraKind& kind : RecordCameraKinds())
    {
        const std::unique_ptr<RecordingCamera> camera = kind.make(subject);
        camera->SetUp(picture, nullptr);
        for (double position = 0.0; position <= 150.0; position += 0.5)
        {
            const osg::Matrixd view = camera->View(position, 0.1);
            const osg::Vec3d aircraft = subject.aircraftAt(position).getTrans();
            ASSERT_LT((aircraft * view).z(), 0.0) << kind.word << " looks away from the aircraft";
            const osg::Vec3d at = Project(view, picture.verticalFov, picture.aspect, aircraft);
            ASSERT_LE(std::fabs(at.x()), 1.0) << kind.word << " at position " << position;
            ASSERT_LE(std::fabs(at.y()), 1.0) << kind.word << " at position " << position;
        }
    }
}

// An L-shaped track 2 km by 500 m with a climb.
osg::Vec3d Elbow(double seconds)
{
    if (seconds <= 20.0)
        return osg::Vec3d(100.0 * seconds, 0.0, 400.0 + 5.0 * seconds);
    return osg::Vec3d(2000.0, 100.0 * (seconds - 20.0), 500.0);
}

TEST(OverviewTest, HoldsTheWholeTrackCloseToTheEdgesClearOfTheDisplayAtAnyShape)
{
    const CameraSubject subject = FlightAlong(Elbow, 126);
    for (double aspect : {16.0 / 9.0, 1.0, 9.0 / 16.0})
    {
        for (bool display : {false, true})
        {
            const std::unique_ptr<RecordingCamera> overview = FindRecordCamera("overview")->make(subject);
            overview->SetUp(CameraPicture{40.0, aspect, display}, nullptr);
            const osg::Matrixd view = overview->View(0.0, 0.1);
            EXPECT_EQ(overview->View(80.0, 0.1), view) << "the overview moves";
            // The display takes about a tenth of the height at the top and at the bottom.
            const double upShare = display ? 0.75 : 0.9;
            double widest = 0.0;
            for (int32_t row = 0; row < subject.rows; ++row)
            {
                const osg::Vec3d at = Project(view, 40.0, aspect, subject.aircraftAt(row).getTrans());
                ASSERT_LE(std::fabs(at.x()), 0.9 + 1e-9) << "aspect " << aspect << ", row " << row;
                ASSERT_LE(std::fabs(at.y()), upShare + 1e-9) << "aspect " << aspect << ", row " << row;
                widest = std::max({widest, std::fabs(at.x()) / 0.9, std::fabs(at.y()) / upShare});
            }
            EXPECT_GT(widest, 0.95) << "the track is framed loosely at aspect " << aspect;
        }
    }
}

TEST(OverviewTest, AHoverShowsItsSurroundingsAndTheAircraftIsDrawnLargeEnoughToSee)
{
    const CameraSubject subject = FlightAlong([](double) { return osg::Vec3d(100.0, 200.0, 300.0); }, 3);
    const osg::Vec3d hover = subject.aircraftAt(0.0).getTrans();
    // A model of 1 m radius, which from hundreds of metres is a dot.
    osg::ref_ptr<osg::MatrixTransform> aircraft = new osg::MatrixTransform;
    osg::ref_ptr<osg::Geode> model = new osg::Geode;
    model->addDrawable(new osg::ShapeDrawable(new osg::Sphere(osg::Vec3(), static_cast<float>(TestUnitsPerMetre))));
    aircraft->addChild(model.get());

    const std::unique_ptr<RecordingCamera> overview = FindRecordCamera("overview")->make(subject);
    overview->SetUp(CameraPicture{40.0, 16.0 / 9.0, false}, aircraft.get());
    const osg::Matrixd view = overview->View(1.0, 0.1);
    const osg::Vec3d at = Project(view, 40.0, 16.0 / 9.0, hover);
    EXPECT_NEAR(at.x(), 0.0, 1e-6);
    EXPECT_NEAR(at.y(), 0.0, 1e-6);
    // The picture's height where the aircraft is: at least the least extent.
    const double heightSeen = 2.0 * (EyeOf(view) - hover).length() * std::tan(20.0 * Pi / 180.0);
    EXPECT_GE(heightSeen, OverviewLeastExtent * TestUnitsPerMetre);
    EXPECT_NEAR(aircraft->getBound().radius() / heightSeen, OverviewAircraftShare, 1e-3);
    EXPECT_NEAR(aircraft->getBound().center().length(), 0.0, 1e-9) << "not enlarged about its own origin";
}

// Visits as the viewer's cull visitor does from an eye, collecting the geodes it reaches.
class CullFrom : public osg::NodeVisitor
{
public:
    explicit CullFrom(const osg::Vec3d& eye) : osg::NodeVisitor(CULL_VISITOR, TRAVERSE_ALL_CHILDREN), eye(eye) {}
    using osg::NodeVisitor::apply;
    osg::Vec3 getEyePoint() const override { return eye; }
    void apply(osg::Geode& geode) override { reached.push_back(&geode); }

    osg::Vec3d eye;
    std::vector<osg::Geode*> reached;
};

// Where a node's own coordinates lie in the frame when drawn for that eye.
osg::Matrixd PlacedFor(osg::Node* node, CullFrom& cull)
{
    osg::Matrixd matrix;
    const osg::NodePathList paths = node->getParentalNodePaths();
    for (osg::Node* above : paths.front())
        if (const osg::Transform* transform = above->asTransform())
            transform->computeLocalToWorldMatrix(matrix, &cull);
    return matrix;
}

TEST(PlayerBackdropTest, TheSkyAndTheFarGroundSurroundTheOverviewOfALongFlight)
{
    // The scene as it is assembled: terrain 3 to 8 m up, the sky a ball of 200 units at the
    // origin, under a group.
    FlightScene scene{new osg::Group, nullptr, new osg::Group, new osg::Group, nullptr, nullptr};
    osg::ref_ptr<osg::Geode> terrain = new osg::Geode;
    terrain->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(0.0f, 0.0f, 0.055f), 1.0f, 1.0f, 0.05f)));
    scene.terrain->addChild(terrain.get());
    osg::ref_ptr<osg::Geode> sky = new osg::Geode;
    sky->addDrawable(new osg::ShapeDrawable(new osg::Sphere(osg::Vec3(), 200.0f)));
    scene.sky->addChild(sky.get());
    scene.root->addChild(scene.terrain.get());
    scene.root->addChild(scene.sky.get());
    SurroundWithBackdrop(scene);

    // A straight flight of 100 km seen from the overview: well outside that ball.
    const CameraSubject subject = FlightAlong([](double s) { return osg::Vec3d(0.0, 100.0 * s, 500.0); }, 5001);
    const std::unique_ptr<RecordingCamera> overview = FindRecordCamera("overview")->make(subject);
    overview->SetUp(CameraPicture{}, nullptr);
    const osg::Vec3d eye = EyeOf(overview->View(0.0, 0.1));
    ASSERT_GT(eye.length(), 2.0 * 200.0);

    CullFrom cull(eye);
    const osg::BoundingSphere skyBound = sky->getBound();
    EXPECT_LT((skyBound.center() * PlacedFor(sky.get(), cull) - eye).length(), 0.5 * skyBound.radius()) << "the eye is outside the sky";

    // The far ground reaches the horizon all round: its rim at the eye's height, the rest below.
    osg::Node* farGround = nullptr;
    for (unsigned int i = 0; i < scene.root->getNumChildren(); ++i)
        if (scene.root->getChild(i)->getName() == FarGroundName)
            farGround = scene.root->getChild(i);
    ASSERT_NE(farGround, nullptr);
    scene.root->accept(cull);
    osg::Geode* ground = nullptr;
    for (osg::Geode* geode : cull.reached)
        if (geode != sky.get() && geode != terrain.get())
            ground = geode;
    ASSERT_NE(ground, nullptr) << "no far ground drawn from above";
    const osg::Matrixd placed = PlacedFor(ground, cull);
    const osg::Vec3Array* vertices = dynamic_cast<const osg::Vec3Array*>(ground->getDrawable(0)->asGeometry()->getVertexArray());
    ASSERT_NE(vertices, nullptr);
    double highest = -1e30;
    for (const osg::Vec3& vertex : *vertices)
        highest = std::max(highest, (osg::Vec3d(vertex) * placed).z());
    EXPECT_NEAR(highest, eye.z(), 1e-3);

    // From below the lowest terrain the far ground would hang in the sky: it is left out.
    CullFrom low(osg::Vec3d(0.0, 0.0, 0.02));
    scene.root->accept(low);
    EXPECT_EQ(low.reached.size(), 2u) << "the terrain and the sky only";
}

std::vector<char*> Arguments(std::vector<std::string>& words)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    return argv;
}

// The player's command line with the recorder's options on top (ParsePlayerCommandLine).
CommandLineOutcome ParseWords(std::vector<std::string> words, PlayerOptions* player, RecordOptions* options)
{
    std::vector<char*> argv = Arguments(words);
    return ParsePlayerCommandLine(static_cast<int>(argv.size()), argv.data(), player, options);
}

TEST(RecordOptionsTest, ThePlayerAndTheRecorderReadTheirOptionsFromOneLine)
{
    PlayerOptions player;
    RecordOptions options;
    const CommandLineOutcome parsed = ParseWords({"player", "flight.log", "--record", "out.mp4", "--samples", "1-50", "--camera", "overview", "--size", "640x360", "--fps", "25", "--speed",
                                                  "8", "--from", "54500.5", "--to", "+60", "--no-hud", "other.gpx"},
                                                 &player, &options);
    ASSERT_TRUE(parsed.run) << parsed.message;
    EXPECT_EQ(player.flights, (std::vector<std::string>{"flight.log", "other.gpx"}));
    EXPECT_EQ(player.samples, "1-50");
    EXPECT_TRUE(options.record);
    EXPECT_EQ(options.output, "out.mp4");
    EXPECT_STREQ(options.camera->word, "overview");
    EXPECT_EQ(options.width, 640);
    EXPECT_EQ(options.height, 360);
    EXPECT_EQ(options.fps, 25);
    EXPECT_EQ(options.speed, 8.0);
    EXPECT_TRUE(options.hasFrom && options.hasTo);
    EXPECT_EQ(options.from, 54500.5);
    EXPECT_FALSE(options.fromSinceStart) << "a log time";
    EXPECT_TRUE(options.toSinceStart && options.to == 60.0) << "seconds from the start";
    EXPECT_FALSE(options.hud);

    // The player's own options need no --record.
    ASSERT_TRUE(ParseWords({"player", "--plot", "altitude,voltage1", "flight.log", "--colour-track", "mode"}, &player, &options).run);
    EXPECT_FALSE(options.record);
    EXPECT_EQ(player.view.plots, (std::vector<std::string>{"altitude", "voltage1"}));
    EXPECT_EQ(options.view.plots, player.view.plots) << "the recording shows the player's view";
    EXPECT_EQ(options.view.colourBy, TrackColourBy::Mode);
    EXPECT_EQ(player.flights, (std::vector<std::string>{"flight.log"}));
    ASSERT_TRUE(ParseWords({"player", "flight.log", "--colour-track", "voltage1"}, &player, &options).run);
    EXPECT_EQ(options.view.colourBy, TrackColourBy::Column);
    EXPECT_EQ(options.view.colourColumn, "voltage1");

    ASSERT_TRUE(ParseWords({"player", "flight.log"}, &player, &options).run);
    EXPECT_FALSE(options.record);
    EXPECT_EQ(player.samples, "");
    EXPECT_EQ(options.camera, &RecordCameraKinds().front());
    EXPECT_EQ(options.width, 1280);
    EXPECT_EQ(options.fps, 30);
    EXPECT_EQ(options.speed, 3.0);
    EXPECT_TRUE(options.hud);
}

TEST(RecordOptionsTest, WrongOptionsAreRefusedWithTheReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--camera", "chase"}, "--camera needs --record"},
        {{"--record", "a.mp4", "--record", "b.mp4"}, "--record given twice"},
        {{"--record", "a.mp4", "--no-hud", "--no-hud"}, "--no-hud given twice"},
        {{"--record", "a.mp4", "--size", "641x360"}, "even"},
        {{"--record", "a.mp4", "--size", "640"}, "--size wants WIDTHxHEIGHT"},
        {{"--record", "a.mp4", "--size", "99999x360"}, "--size wants WIDTHxHEIGHT"},
        {{"--record", "a.mp4", "--fps", "0"}, "--fps wants a whole number from 1 to 240, not '0'"},
        {{"--record", "a.mp4", "--fps", "25.5"}, "--fps wants a whole number from 1 to 240, not '25.5'"},
        {{"--record", "a.mp4", "--speed", "100"}, "--speed wants a number from 0.25 to 64, not '100'"},
        {{"--record", "a.mp4", "--from", "nan"}, "log time"},
        {{"--record", "a.mp4", "--to", "+-5"}, "+SECONDS"},
        {{"--record", "a.mp4", "--from", "20", "--to", "10"}, "after --to"},
        {{"--record"}, "--record needs a value"},
        {{"--record", "a.mp4", "--cmaera", "chase"}, "unknown option '--cmaera'"},
        {{"--plot", "altitude,altitude"}, "twice"},
        {{"--plot", "altitude,"}, "empty"},
        {{"--plot", "voltage"}, "no series"},
        {{"--plot", "altitude,speed,climb,height,attitude"}, "at most 4"},
        {{"--colour-track", "none"}, "--colour-track wants altitude, speed, climb, mode, height or a column's keyword, not 'none'"},
        {{"--colour-track", "attitude"}, "not 'attitude'"},
        {{"--colour-track", "voltage1,current"}, "not 'voltage1,current'"},
        {{"--align", "late"}, "--align wants time, takeoff or start, not 'late'"},
    };
    for (const auto& [given, reason] : cases)
    {
        std::vector<std::string> words = {"player", "flight.log"};
        words.insert(words.end(), given.begin(), given.end());
        PlayerOptions player;
        RecordOptions parsed;
        const CommandLineOutcome outcome = ParseWords(words, &player, &parsed);
        EXPECT_FALSE(outcome.run) << words[2];
        EXPECT_NE(outcome.message.find(reason), std::string::npos) << "'" << outcome.message << "' does not say " << reason;
        // A recording is a batch job: its usage status is the batch commands'; the window's the replay's.
        const bool recording = std::find(words.begin(), words.end(), "--record") != words.end();
        EXPECT_EQ(outcome.status, recording ? ExitUsage : PlayerUsageStatus) << words[2];
    }
    // Frames in a folder may have odd sides: no encoder halves them.
    PlayerOptions player;
    RecordOptions parsed;
    const CommandLineOutcome outcome = ParseWords({"player", "flight.log", "--record", "frames/", "--size", "641x361"}, &player, &parsed);
    EXPECT_TRUE(outcome.run) << outcome.message;
}

// A camera is one row of the table: --camera takes its word, and the help and the refusal
// of a wrong word name every one.
TEST(RecordOptionsTest, TheCameraIsAWordOfTheTable)
{
    PlayerOptions player;
    RecordOptions parsed;
    for (const RecordCameraKind& kind : RecordCameraKinds())
    {
        const CommandLineOutcome outcome = ParseWords({"player", "flight.log", "--record", "a.mp4", "--camera", kind.word}, &player, &parsed);
        ASSERT_TRUE(outcome.run) << outcome.message;
        EXPECT_EQ(parsed.camera, &kind) << kind.word;
    }
    CommandLine line("record", "flightreplay-player", "", ExitUsage);
    AddRecordOptions(line, &parsed);
    const std::string help = line.App().help();
    for (const RecordCameraKind& kind : RecordCameraKinds())
    {
        EXPECT_NE(help.find(kind.word), std::string::npos) << kind.word;
        EXPECT_NE(help.find(kind.description), std::string::npos) << kind.word;
    }
    for (const char* wrong : {"cockpit", "Chase", ""})
    {
        const CommandLineOutcome outcome = ParseWords({"player", "flight.log", "--record", "a.mp4", "--camera", wrong}, &player, &parsed);
        EXPECT_FALSE(outcome.run) << wrong;
        EXPECT_EQ(outcome.message.rfind(std::string("--camera wants "), 0), 0u) << outcome.message;
        EXPECT_NE(outcome.message.find(std::string("not '") + wrong + "'"), std::string::npos) << outcome.message;
        for (const RecordCameraKind& kind : RecordCameraKinds())
            EXPECT_NE(outcome.message.find(kind.word), std::string::npos) << "'" << outcome.message << "' does not name " << kind.word;
    }
}

TEST(VideoOutputTest, ThePartialNameKeepsTheExtensionTheEncoderGoesBy)
{
    EXPECT_EQ(PartialVideoName("out/demo.mp4"), "out/demo.partial.mp4");
    EXPECT_EQ(PartialVideoName("demo"), "demo.partial");
    EXPECT_EQ(PartialVideoName("v1.0/demo"), "v1.0/demo.partial");
    EXPECT_EQ(PartialVideoName(".hidden"), ".hidden.partial");
}
} // namespace
