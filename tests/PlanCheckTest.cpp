// The flight against its plan: waypoints reached by radius or by the log, the active leg's
// cross-track error and its sign, fence breaches of a concave polygon and of the ceiling,
// airspace entries and exits over the drawn ground, and a glider task's turnpoints.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "check/PlanCheck.h"
#include "geo/Geodesy.h"

namespace
{

// Places are metres east (x) and north (y) of 47 N 8 E.
const double OriginLatitude = 47.0, OriginLongitude = 8.0;
const double NorthMetresPerDegree = EarthRadius * RadiansPerDegree;
const double EastMetresPerDegree = NorthMetresPerDegree * std::cos(OriginLatitude * RadiansPerDegree);

PlanPoint At(double x, double y)
{
    return {OriginLatitude + y / NorthMetresPerDegree, OriginLongitude + x / EastMetresPerDegree};
}

// One fix a second along the points, at 1000 s on, at `altitude(i)` metres.
std::vector<SampleRow> Flight(const std::vector<std::pair<double, double>>& points, double (*altitude)(size_t) = [](size_t) { return 500.0; })
{
    std::vector<SampleRow> rows(points.size());
    for (size_t i = 0; i < points.size(); ++i)
    {
        const PlanPoint place = At(points[i].first, points[i].second);
        rows[i].samplenumber = static_cast<int32_t>(i + 1);
        rows[i].gps_time = 1000.0 + static_cast<double>(i);
        rows[i].gps_curlat = place.latitude * 60.0;
        rows[i].gps_curlon = place.longitude * 60.0;
        rows[i].gps_curalt = altitude(i);
    }
    return rows;
}

// From (x0, y0) to (x1, y1) in steps of 10 m, both ends included.
std::vector<std::pair<double, double>> Line(double x0, double y0, double x1, double y1)
{
    const int steps = static_cast<int>(std::lround(std::hypot(x1 - x0, y1 - y0) / 10.0));
    std::vector<std::pair<double, double>> points;
    for (int i = 0; i <= steps; ++i)
        points.emplace_back(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
    return points;
}

PlanCheckReport Check(const std::vector<SampleRow>& rows, const FlightPlan& plan, const GroundHeight& ground = nullptr)
{
    return CheckPlan(FlightRows{rows.data(), static_cast<int32_t>(rows.size()), 1.0}, plan, ground);
}

PlanItem Waypoint(int32_t seq, double x, double y, double altitude, double acceptance, int32_t frame = 0)
{
    PlanItem item;
    item.seq = seq;
    item.command = CommandWaypoint;
    item.frame = frame;
    item.param[1] = acceptance;
    const PlanPoint place = At(x, y);
    item.latitude = place.latitude;
    item.longitude = place.longitude;
    item.altitude = altitude;
    return item;
}

// Due north along x = 0 from y = 0 to 1000 m at 500 m: row i at y = 10 i, time 1000 + i.
// Home first (item 0, never a waypoint); 1 is passed at 3 m east and 4 m below within its
// 5.5 m; 2 is 50 m off and reached by the log's word alone; 3 is 0 m above a home at 500 m
// within the autopilot's 12 m; 4 lies behind, where the flight was before 3.
FlightPlan Mission()
{
    FlightPlan plan;
    MissionVersion version;
    version.homeFirst = true;
    version.items = {Waypoint(0, 0, 0, 500, 0), Waypoint(1, 3, 200, 504, 5.5), Waypoint(2, -50, 600, 500, 5), Waypoint(3, 0, 900, 0, 0, 3), Waypoint(4, -40, 100, 500, 0)};
    plan.missions.push_back(version);
    plan.homeAltitude = 500.0;
    plan.defaultAcceptance = 12.0;
    plan.progress.push_back({1061.0, MissionProgress::Reached, 2});
    return plan;
}

} // namespace

TEST(PlanCheckTest, WaypointsAreReachedByTheirRadiusOrTheLogInOrder)
{
    const std::vector<SampleRow> rows = Flight(Line(0, 0, 0, 1000));
    const PlanCheckReport report = Check(rows, Mission());
    ASSERT_EQ(report.waypoints.size(), 4u) << "home is no waypoint";
    const WaypointCheck& one = report.waypoints[0];
    EXPECT_TRUE(one.byRadius && !one.byLog && one.closestIn3d);
    EXPECT_NEAR(one.closest, 5.0, 0.05) << "3 m aside, 4 m below";
    EXPECT_NEAR(one.closestHorizontal, 3.0, 0.05);
    EXPECT_EQ(one.Time(), 1020.0);
    const WaypointCheck& two = report.waypoints[1];
    EXPECT_TRUE(two.byLog && !two.byRadius);
    EXPECT_NEAR(two.closest, 50.0, 0.1);
    EXPECT_EQ(two.Time(), 1061.0);
    const WaypointCheck& three = report.waypoints[2];
    EXPECT_NEAR(three.altitude, 500.0, 1e-9) << "0 m above home";
    EXPECT_EQ(three.acceptance, 12.0);
    EXPECT_EQ(three.radiusTime, 1089.0) << "10 m short is within 12 m";
    EXPECT_EQ(three.closestTime, 1090.0);
    const WaypointCheck& four = report.waypoints[3];
    EXPECT_FALSE(four.Reached()) << "passed before 3 was reached";
    EXPECT_GT(four.closest, 780.0);
}

TEST(PlanCheckTest, CrossTrackIsSignedRightOfTheActiveLeg)
{
    const std::vector<SampleRow> rows = Flight(Line(0, 0, 0, 1000));
    // Without the log's Current records the leg leads to the waypoint after the last reached.
    PlanCheckReport report = Check(rows, Mission());
    EXPECT_FALSE(report.legsFromLog);
    EXPECT_EQ(report.samples[10].legSeq, -1) << "the first waypoint has no leg";
    ASSERT_EQ(report.samples[40].legSeq, 2);
    // Leg 1 -> 2 runs from (3, 200) to (-50, 600): the flight at x = 0 lies east of it, to its right.
    const double legOne = std::hypot(53.0, 400.0);
    EXPECT_NEAR(report.samples[40].crossTrack, (400.0 * -3.0 + 53.0 * 200.0) / legOne, 0.05);

    // The log's Current records: leg 2 from the start, leg 4 (3 -> 4, southwards from (0, 900)
    // to (-40, 100)) from 1030 s, which the flight at x = 0 has on its left.
    FlightPlan plan = Mission();
    plan.progress.insert(plan.progress.begin(), {{1000.0, MissionProgress::Current, 2}, {1030.0, MissionProgress::Current, 4}});
    report = Check(rows, plan);
    EXPECT_TRUE(report.legsFromLog);
    EXPECT_EQ(report.samples[29].legSeq, 2);
    ASSERT_EQ(report.samples[40].legSeq, 4);
    const double legFour = std::hypot(40.0, 800.0);
    EXPECT_NEAR(report.samples[40].crossTrack, 40.0 * (400.0 - 900.0) / legFour, 0.05);
    EXPECT_NEAR(report.crossTrackMaximum, 40.0 * (300.0 - 900.0) / legFour, 0.05) << "at 1030 s, where leg 4 begins";
    EXPECT_EQ(report.crossTrackMaximumTime, 1030.0);
    EXPECT_EQ(report.crossTrackSamples, 101);
    EXPECT_GT(report.crossTrackRms, 0.0);
    EXPECT_LT(report.crossTrackRms, std::fabs(report.crossTrackMaximum));
}

TEST(PlanCheckTest, FenceBreachesOfAConcavePolygonAndTheCeiling)
{
    // A U open to the north, its notch x 145 .. 255 from y = 500 up; the flight runs east
    // across the notch at y = 700, and over the ceiling (100 m above home at 500 m) at 610 m
    // for rows 25 to 27.
    FlightPlan plan;
    FenceShape u;
    for (const auto& [x, y] : std::vector<std::pair<double, double>>{{0, 0}, {400, 0}, {400, 1000}, {255, 1000}, {255, 500}, {145, 500}, {145, 1000}, {0, 1000}})
        u.vertices.push_back(At(x, y));
    plan.fences.push_back(u);
    plan.fenceCeiling = 100.0;
    plan.homeAltitude = 500.0;
    const std::vector<SampleRow> rows = Flight(Line(50, 700, 350, 700), [](size_t i) { return i >= 25 && i <= 27 ? 610.0 : 520.0; });
    const PlanCheckReport report = Check(rows, plan);
    EXPECT_TRUE(report.hasFence);
    EXPECT_NEAR(report.samples[3].fenceMargin, 65.0, 0.1) << "at x = 80, 65 m short of the notch's wall";
    ASSERT_EQ(report.breaches.size(), 2u);
    EXPECT_EQ(report.breaches[0].firstRow, 10);
    EXPECT_EQ(report.breaches[0].lastRow, 20);
    EXPECT_EQ(report.breaches[0].start, 1010.0);
    EXPECT_EQ(report.breaches[0].end, 1020.0);
    EXPECT_NEAR(report.breaches[0].depth, 55.0, 0.1);
    EXPECT_EQ(report.breaches[0].shape, "inclusion polygon 1");
    EXPECT_EQ(report.breaches[1].firstRow, 25);
    EXPECT_EQ(report.breaches[1].lastRow, 27);
    EXPECT_NEAR(report.breaches[1].depth, 10.0, 1e-9);
    EXPECT_EQ(report.breaches[1].shape, "ceiling");
    EXPECT_NEAR(report.fenceMinimum, -55.0, 0.1);
}

TEST(PlanCheckTest, AirspaceEntriesAndExitsOverTheDrawnGround)
{
    // East along y = 200 from x = -100 to 900; the drawn ground is 300 m up to x = 550 and
    // unknown beyond. A: x 0 .. 405, floor 150 m above ground, ceiling 1000 m, climbed into
    // at x = 110 (400 m to 500 m) and left sideways. B: an above-ground floor beyond the
    // ground. C: a surface floor there, met whatever the ground.
    auto square = [](const char* name, double west, double east, AirspaceLimit floor) {
        Airspace airspace;
        airspace.name = name;
        airspace.airspaceClass = "D";
        airspace.floor = floor;
        airspace.ceiling = {AirspaceLimit::Amsl, 1000.0, "1000m MSL"};
        for (const auto& [x, y] : std::vector<std::pair<double, double>>{{west, 0}, {east, 0}, {east, 400}, {west, 400}})
            airspace.outline.push_back(At(x, y));
        return airspace;
    };
    const AirspaceLimit aboveGround = {AirspaceLimit::AboveGround, 150.0, "150m AGL"};
    FlightPlan plan;
    plan.airspace = {square("A", 0, 405, aboveGround), square("B", 595, 805, aboveGround), square("C", 595, 805, {AirspaceLimit::Surface, 0.0, "SFC"})};
    const GroundHeight ground = [](double, double longitude) { return longitude < At(550, 0).longitude ? 300.0 : NoValue; };
    const std::vector<SampleRow> rows = Flight(Line(-100, 200, 900, 200), [](size_t i) { return i < 21 ? 400.0 : 500.0; });
    const PlanCheckReport report = Check(rows, plan, ground);

    std::vector<std::pair<AirspaceEvent::Kind, size_t>> events;
    for (const AirspaceEvent& event : report.airspaceEvents)
        events.emplace_back(event.kind, event.airspace);
    const std::vector<std::pair<AirspaceEvent::Kind, size_t>> expected = {
        {AirspaceEvent::Entry, 0}, {AirspaceEvent::Exit, 0}, {AirspaceEvent::LimitUnknown, 1}, {AirspaceEvent::Entry, 2}, {AirspaceEvent::Exit, 1}, {AirspaceEvent::Exit, 2}};
    ASSERT_EQ(events, expected);
    const AirspaceEvent& entry = report.airspaceEvents[0];
    EXPECT_EQ(entry.time, 1021.0) << "x = 110, where it climbs to 500 m";
    EXPECT_NEAR(entry.aboveFloor, 50.0, 1e-9);
    EXPECT_NEAR(entry.belowCeiling, 500.0, 1e-9);
    EXPECT_EQ(report.airspaceEvents[1].time, 1051.0) << "x = 410";
    EXPECT_EQ(report.airspaceEvents[2].time, 1070.0) << "x = 600";
    EXPECT_TRUE(std::isnan(report.airspaceEvents[2].aboveFloor)) << "no drawn ground, no guess";
    EXPECT_TRUE(std::isnan(report.airspaceEvents[3].aboveFloor));
    EXPECT_EQ(report.samples[30].airspaces, std::vector<uint32_t>{0});
    EXPECT_EQ(report.samples[80].airspaces, std::vector<uint32_t>{2});
    EXPECT_EQ(report.airspacesNear, 3);
}

TEST(PlanCheckTest, TaskTurnpointsInOrderWithTheLastStartAndTheGoalLine)
{
    // Out of the start's 95 m, back in and out again, north into the turnpoint's 205 m, then
    // east across the goal line (100 m either side of (1005, 1000), across the last leg).
    FlightPlan plan;
    auto turnpoint = [](const char* name, double x, double y, double radius, TurnpointRole role, bool line) {
        Turnpoint point;
        point.name = name;
        const PlanPoint place = At(x, y);
        point.latitude = place.latitude;
        point.longitude = place.longitude;
        point.radius = radius;
        point.role = role;
        point.line = line;
        return point;
    };
    plan.task = {turnpoint("launch", 0, 0, 400, TurnpointRole::Takeoff, false), turnpoint("start", 0, 0, 95, TurnpointRole::Start, false),
                 turnpoint("tower", 0, 1000, 205, TurnpointRole::Turn, false), turnpoint("goal", 1005, 1000, 100, TurnpointRole::Goal, true)};
    std::vector<std::pair<double, double>> path = Line(0, 0, 0, 150);
    for (const auto& points : {Line(0, 140, 0, 50), Line(0, 60, 0, 1000), Line(10, 1000, 1100, 1000)})
        path.insert(path.end(), points.begin(), points.end());
    const std::vector<SampleRow> rows = Flight(path);
    const PlanCheckReport report = Check(rows, plan);

    ASSERT_EQ(report.task.size(), 3u) << "the take-off is no turnpoint";
    const TurnpointCheck& start = report.task[0];
    EXPECT_TRUE(start.achieved);
    EXPECT_EQ(start.crossings, 3);
    EXPECT_EQ(start.row, 16 + 10 + 4) << "the last crossing before the turnpoint: y = 100 on the way north again";
    const TurnpointCheck& tower = report.task[1];
    EXPECT_TRUE(tower.achieved);
    EXPECT_NEAR(rows[tower.row].gps_curlat, At(0, 800).latitude * 60.0, 1e-9);
    const TurnpointCheck& goal = report.task[2];
    EXPECT_TRUE(goal.achieved);
    EXPECT_NEAR(rows[goal.row].gps_curlon, At(1010, 1000).longitude * 60.0, 1e-9);
    EXPECT_GT(goal.time, tower.time);
}
