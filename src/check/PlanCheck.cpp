#include "check/PlanCheck.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include "geo/Geodesy.h"

namespace
{

const double Infinity = std::numeric_limits<double>::infinity();
const double MetresPerDegree = EarthRadius * RadiansPerDegree;

struct Point
{
    double x = 0.0; // metres east
    double y = 0.0; // metres north
};

// A flat plane laid on the Earth at one place: near it a metre is a metre in every
// direction, which a plane of degrees is not away from the equator. Longitudes are taken
// the short way round from the origin, so a shape across 180 degrees stays whole.
struct LocalPlane
{
    double latitude = 0.0, longitude = 0.0;
    double east = MetresPerDegree; // metres per degree of longitude here

    LocalPlane() = default;
    LocalPlane(double latitude, double longitude)
        : latitude(latitude), longitude(longitude), east(MetresPerDegree * std::cos(latitude * RadiansPerDegree))
    {
    }
    double LongitudeOffset(double lon) const { return std::remainder(lon - longitude, 360.0); }
    Point At(double lat, double lon) const { return {LongitudeOffset(lon) * east, (lat - latitude) * MetresPerDegree}; }
};

double Dot(Point a, Point b)
{
    return a.x * b.x + a.y * b.y;
}

Point Minus(Point a, Point b)
{
    return {a.x - b.x, a.y - b.y};
}

double SegmentDistance(Point p, Point a, Point b)
{
    const Point ab = Minus(b, a);
    const Point ap = Minus(p, a);
    const double length2 = Dot(ab, ab);
    const double t = length2 > 0.0 ? std::clamp(Dot(ap, ab) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(ap.x - t * ab.x, ap.y - t * ab.y);
}

// A closed outline in its own plane, with its box in degrees for the quick refusal of
// fixes far from it.
struct Outline
{
    LocalPlane plane;
    std::vector<Point> corners;
    double south = Infinity, north = -Infinity, west = Infinity, eastEdge = -Infinity; // longitudes as offsets

    explicit Outline(const std::vector<PlanPoint>& points)
    {
        if (points.empty())
            return;
        plane = LocalPlane(points.front().latitude, points.front().longitude);
        for (const PlanPoint& point : points)
        {
            corners.push_back(plane.At(point.latitude, point.longitude));
            south = std::min(south, point.latitude);
            north = std::max(north, point.latitude);
            const double offset = plane.LongitudeOffset(point.longitude);
            west = std::min(west, offset);
            eastEdge = std::max(eastEdge, offset);
        }
    }
    bool InBox(double lat, double lon) const
    {
        const double offset = plane.LongitudeOffset(lon);
        return lat >= south && lat <= north && offset >= west && offset <= eastEdge;
    }
    // Even-odd: right for concave outlines too.
    bool Inside(Point p) const
    {
        bool inside = false;
        for (size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++)
        {
            const Point a = corners[i], b = corners[j];
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
                inside = !inside;
        }
        return inside;
    }
    double EdgeDistance(Point p) const
    {
        double nearest = Infinity;
        for (size_t i = 0, j = corners.size() - 1; i < corners.size(); j = i++)
            nearest = std::min(nearest, SegmentDistance(p, corners[j], corners[i]));
        return nearest;
    }
};

// The reader's rule for a position (FlightCheck's): within a minute of arc of 0 is none.
bool ValidFix(const SampleRow& row)
{
    const double lat = std::fabs(row.gps_curlat), lon = std::fabs(row.gps_curlon);
    return std::isfinite(row.gps_curlat) && std::isfinite(row.gps_curlon) && lat > 1.0 && lon > 1.0 && lat <= 90.0 * 60.0 && lon < 540.0 * 60.0;
}

double Latitude(const SampleRow& row)
{
    return row.gps_curlat / 60.0;
}

double Longitude(const SampleRow& row)
{
    return row.gps_curlon / 60.0;
}

// The first row whose time is at or after `time` (the rows' count when none is), for rows
// whose clock may step back: over the running maximum of their times.
int32_t RowAtOrAfter(const std::vector<double>& runningTime, double time)
{
    if (!std::isfinite(time))
        return static_cast<int32_t>(runningTime.size());
    return static_cast<int32_t>(std::lower_bound(runningTime.begin(), runningTime.end(), time) - runningTime.begin());
}

// The mission in force when it began to run: at the log's first record of an item other than
// home becoming current or starting, else at the first row.
int32_t VersionInForce(const FlightRows& rows, const FlightPlan& plan)
{
    double begun = rows.empty() ? NoValue : rows[0].gps_time;
    for (const MissionProgress& record : plan.progress)
        if (record.kind != MissionProgress::Reached && record.seq >= 1)
        {
            begun = record.time;
            break;
        }
    return plan.VersionAt(begun);
}

double AcceptanceOf(const PlanItem& item, const FlightPlan& plan)
{
    if (item.command == CommandWaypoint && item.param[1] > 0.0 && std::isfinite(item.param[1]))
        return item.param[1];
    if (std::isfinite(plan.defaultAcceptance) && plan.defaultAcceptance > 0.0)
        return plan.defaultAcceptance;
    return DefaultAcceptance;
}

void CheckWaypoints(const FlightRows& rows, const FlightPlan& plan, const GroundHeight& ground, const std::vector<double>& runningTime, PlanCheckReport* report)
{
    const MissionVersion& version = plan.missions[static_cast<size_t>(report->version)];
    for (const PlanItem& item : version.items)
    {
        if ((version.homeFirst && item.seq == 0) || !IsNavigationCommand(item.command) || !item.HasPosition())
            continue;
        WaypointCheck waypoint;
        waypoint.seq = item.seq;
        waypoint.command = item.command;
        waypoint.latitude = item.latitude;
        waypoint.longitude = item.longitude;
        waypoint.altitude = ItemAltitudeAmsl(item, report->homeAltitude, ground);
        waypoint.acceptance = AcceptanceOf(item, plan);
        for (const MissionProgress& record : plan.progress)
            if (record.kind == MissionProgress::Reached && record.seq == item.seq)
            {
                waypoint.byLog = true;
                waypoint.logTime = record.time;
                break;
            }
        report->waypoints.push_back(waypoint);
    }
    // Each is looked for from where the one before it was reached: a mission that comes back
    // over its first waypoint must not have its last one reached at the start.
    int32_t from = 0;
    for (WaypointCheck& waypoint : report->waypoints)
    {
        const LocalPlane plane(waypoint.latitude, waypoint.longitude);
        const bool in3d = std::isfinite(waypoint.altitude);
        waypoint.closestIn3d = in3d;
        for (int32_t r = from; r < rows.count; ++r)
        {
            const SampleRow& row = rows[r];
            if (!ValidFix(row) || (in3d && !std::isfinite(row.gps_curalt)))
                continue;
            const Point p = plane.At(Latitude(row), Longitude(row));
            const double horizontal = std::hypot(p.x, p.y);
            const double distance = in3d ? std::hypot(horizontal, row.gps_curalt - waypoint.altitude) : horizontal;
            if (!(distance >= waypoint.closest)) // NaN at first
            {
                waypoint.closest = distance;
                waypoint.closestHorizontal = horizontal;
                waypoint.closestTime = row.gps_time;
            }
            if (!waypoint.byRadius && distance <= waypoint.acceptance)
            {
                waypoint.byRadius = true;
                waypoint.radiusTime = row.gps_time;
            }
        }
        if (waypoint.Reached())
        {
            waypoint.reachedRow = std::min(RowAtOrAfter(runningTime, waypoint.Time()), rows.count - 1);
            from = waypoint.reachedRow;
        }
    }
}

// The active leg at each row, and the cross-track error on it.
void CheckLegs(const FlightRows& rows, const FlightPlan& plan, PlanCheckReport* report)
{
    const std::vector<WaypointCheck>& waypoints = report->waypoints;
    std::map<int32_t, size_t> indexOfSeq;
    for (size_t k = 0; k < waypoints.size(); ++k)
        indexOfSeq.emplace(waypoints[k].seq, k);
    report->legsFromLog = std::any_of(plan.progress.begin(), plan.progress.end(), [](const MissionProgress& record) { return record.kind == MissionProgress::Current; });

    // Without the log's word, the leg leads to the waypoint after the last one reached.
    std::vector<std::pair<int32_t, size_t>> reachedAt;
    for (size_t k = 0; k < waypoints.size(); ++k)
        if (waypoints[k].Reached())
            reachedAt.emplace_back(waypoints[k].reachedRow, k);
    std::sort(reachedAt.begin(), reachedAt.end());

    size_t record = 0, reached = 0;
    int32_t currentSeq = -1;
    long lastReached = -1;
    double sumSquares = 0.0;
    for (int32_t r = 0; r < rows.count; ++r)
    {
        const SampleRow& row = rows[r];
        long target = -1;
        if (report->legsFromLog)
        {
            while (record < plan.progress.size() && plan.progress[record].time <= row.gps_time)
            {
                if (plan.progress[record].kind == MissionProgress::Current)
                    currentSeq = plan.progress[record].seq;
                ++record;
            }
            const auto found = indexOfSeq.find(currentSeq);
            if (found != indexOfSeq.end())
                target = static_cast<long>(found->second);
        }
        else
        {
            while (reached < reachedAt.size() && reachedAt[reached].first <= r)
                lastReached = std::max(lastReached, static_cast<long>(reachedAt[reached++].second));
            target = lastReached + 1;
        }
        // The first waypoint has no leg: where the autopilot set out from is not in the plan.
        if (target < 1 || target >= static_cast<long>(waypoints.size()))
            continue;
        const WaypointCheck& from = waypoints[static_cast<size_t>(target - 1)];
        const WaypointCheck& to = waypoints[static_cast<size_t>(target)];
        PlanSample& sample = report->samples[static_cast<size_t>(r)];
        sample.legSeq = to.seq;
        const LocalPlane plane(from.latitude, from.longitude);
        const Point leg = plane.At(to.latitude, to.longitude);
        const double length = std::hypot(leg.x, leg.y);
        if (length < 0.01 || !ValidFix(row))
            continue;
        const Point p = plane.At(Latitude(row), Longitude(row));
        sample.crossTrack = (leg.y * p.x - leg.x * p.y) / length; // the cross product, right positive
        sumSquares += sample.crossTrack * sample.crossTrack;
        ++report->crossTrackSamples;
        if (!(std::fabs(sample.crossTrack) <= std::fabs(report->crossTrackMaximum)))
        {
            report->crossTrackMaximum = sample.crossTrack;
            report->crossTrackMaximumTime = row.gps_time;
        }
    }
    if (report->crossTrackSamples > 0)
        report->crossTrackRms = std::sqrt(sumSquares / report->crossTrackSamples);
}

struct FenceWall
{
    std::string name;
    bool inclusion = true;
    bool circle = false;
    Outline outline{{}};
    PlanPoint centre;
    double radius = 0.0;
};

void CheckFence(const FlightRows& rows, const FlightPlan& plan, PlanCheckReport* report)
{
    std::vector<FenceWall> walls;
    size_t polygons = 0, circles = 0;
    for (const FenceShape& shape : plan.fences)
    {
        FenceWall wall;
        wall.inclusion = shape.inclusion;
        wall.circle = shape.circle;
        if (shape.circle)
        {
            if (!(shape.radius > 0.0) || !std::isfinite(shape.radius))
                continue;
            wall.centre = shape.centre;
            wall.radius = shape.radius;
        }
        else
        {
            if (shape.vertices.size() < 3)
                continue;
            wall.outline = Outline(shape.vertices);
        }
        wall.name = std::string(shape.inclusion ? "inclusion " : "exclusion ") + (shape.circle ? "circle " + std::to_string(++circles) : "polygon " + std::to_string(++polygons));
        walls.push_back(std::move(wall));
    }
    const double ceiling = report->homeAltitude + plan.fenceCeiling; // NaN when either is unknown
    const double floor = report->homeAltitude + plan.fenceFloor;
    report->hasFence = !walls.empty() || std::isfinite(ceiling) || std::isfinite(floor);
    if (!report->hasFence)
        return;

    FenceBreach breach;
    bool inBreach = false;
    for (int32_t r = 0; r < rows.count; ++r)
    {
        const SampleRow& row = rows[r];
        double margin = NoValue;
        const char* nearest = "";
        const std::string* nearestWall = nullptr;
        auto consider = [&](double value, const char* name, const std::string* wall) {
            if (std::isfinite(value) && !(value >= margin))
            {
                margin = value;
                nearest = name;
                nearestWall = wall;
            }
        };
        if (std::isfinite(row.gps_curalt))
        {
            consider(ceiling - row.gps_curalt, "ceiling", nullptr);
            consider(row.gps_curalt - floor, "floor", nullptr);
        }
        if (ValidFix(row))
            for (const FenceWall& wall : walls)
            {
                double inside; // metres from the wall, positive on the allowed side
                if (wall.circle)
                    inside = wall.radius - GroundDistance(wall.centre.latitude, wall.centre.longitude, Latitude(row), Longitude(row));
                else
                {
                    const Point p = wall.outline.plane.At(Latitude(row), Longitude(row));
                    const double distance = wall.outline.EdgeDistance(p);
                    inside = wall.outline.Inside(p) ? distance : -distance;
                }
                consider(wall.inclusion ? inside : -inside, "", &wall.name);
            }
        report->samples[static_cast<size_t>(r)].fenceMargin = margin;
        if (std::isfinite(margin) && !(margin >= report->fenceMinimum))
            report->fenceMinimum = margin;
        const bool out = margin < 0.0;
        if (out && !inBreach)
        {
            breach = FenceBreach();
            breach.firstRow = r;
            breach.start = row.gps_time;
            inBreach = true;
        }
        if (out)
        {
            breach.lastRow = r;
            breach.end = row.gps_time;
            if (-margin > breach.depth)
            {
                breach.depth = -margin;
                breach.shape = nearestWall ? *nearestWall : nearest;
            }
        }
        else if (inBreach && std::isfinite(margin))
        {
            report->breaches.push_back(breach);
            inBreach = false;
        }
    }
    if (inBreach)
        report->breaches.push_back(breach);
}

enum class Volume
{
    Outside,
    Inside,
    Unknown,
};

void CheckAirspace(const FlightRows& rows, const FlightPlan& plan, const GroundHeight& ground, PlanCheckReport* report)
{
    // The flight's box, its longitudes as offsets from its first fix, so that only the
    // outlines it reaches are looked at: a country's airspace holds thousands.
    double south = Infinity, north = -Infinity, west = Infinity, east = -Infinity;
    LocalPlane flightPlane;
    bool anyFix = false;
    for (const SampleRow& row : rows)
    {
        if (!ValidFix(row))
            continue;
        if (!anyFix)
            flightPlane = LocalPlane(Latitude(row), Longitude(row));
        anyFix = true;
        const double offset = flightPlane.LongitudeOffset(Longitude(row));
        south = std::min(south, Latitude(row));
        north = std::max(north, Latitude(row));
        west = std::min(west, offset);
        east = std::max(east, offset);
    }
    if (!anyFix)
        return;
    for (size_t a = 0; a < plan.airspace.size(); ++a)
    {
        const Airspace& airspace = plan.airspace[a];
        if (airspace.outline.size() < 3)
            continue;
        const Outline outline(airspace.outline);
        const double shift = flightPlane.LongitudeOffset(outline.plane.longitude);
        if (outline.north < south || outline.south > north || shift + outline.eastEdge < west || shift + outline.west > east)
            continue;
        ++report->airspacesNear;
        const bool needsGround = airspace.floor.reference == AirspaceLimit::Surface || airspace.floor.reference == AirspaceLimit::AboveGround ||
                                 airspace.ceiling.reference == AirspaceLimit::Surface || airspace.ceiling.reference == AirspaceLimit::AboveGround;
        Volume was = Volume::Outside;
        for (int32_t r = 0; r < rows.count; ++r)
        {
            const SampleRow& row = rows[r];
            if (!ValidFix(row) || !std::isfinite(row.gps_curalt))
                continue;
            const double lat = Latitude(row), lon = Longitude(row);
            double aboveFloor = NoValue, belowCeiling = NoValue;
            bool measured = false;
            auto measure = [&]() {
                const double groundAmsl = needsGround && ground ? ground(lat, lon) : NoValue;
                aboveFloor = row.gps_curalt - AirspaceLimitAmsl(airspace.floor, groundAmsl);
                belowCeiling = AirspaceLimitAmsl(airspace.ceiling, groundAmsl) - row.gps_curalt;
                measured = true;
            };
            Volume now = Volume::Outside;
            if (outline.InBox(lat, lon) && outline.Inside(outline.plane.At(lat, lon)))
            {
                measure();
                // Whatever flies is over the surface: a floor there is met even where the drawn
                // ground is unknown, or where a GPS height dips under it on the ground.
                const bool surface = airspace.floor.reference == AirspaceLimit::Surface;
                const bool floorKnown = surface || !std::isnan(aboveFloor);
                const bool floorMet = surface || aboveFloor >= 0.0;
                const bool ceilingKnown = !std::isnan(belowCeiling);
                if ((floorKnown && !floorMet) || (ceilingKnown && belowCeiling < 0.0))
                    now = Volume::Outside;
                else if (!floorKnown || !ceilingKnown)
                    now = Volume::Unknown;
                else
                    now = Volume::Inside;
            }
            if (now == Volume::Inside)
                report->samples[static_cast<size_t>(r)].airspaces.push_back(static_cast<uint32_t>(a));
            if (now == was)
                continue;
            if (!measured)
                measure(); // out sideways: the limits as they stand at that fix
            AirspaceEvent event;
            event.kind = now == Volume::Inside ? AirspaceEvent::Entry : now == Volume::Outside ? AirspaceEvent::Exit : AirspaceEvent::LimitUnknown;
            event.row = r;
            event.time = row.gps_time;
            event.airspace = a;
            event.aboveFloor = aboveFloor;
            event.belowCeiling = belowCeiling;
            report->airspaceEvents.push_back(event);
            was = now;
        }
    }
    std::stable_sort(report->airspaceEvents.begin(), report->airspaceEvents.end(), [](const AirspaceEvent& a, const AirspaceEvent& b) { return a.row < b.row; });
}

// A line across the course through a turnpoint: crossed going along `course`, within its
// half-length of the point.
struct CourseLine
{
    LocalPlane plane;
    Point course; // unit
    double halfLength = 0.0;

    // Whether going from fix a to fix b crosses it forwards.
    bool Crossed(const SampleRow& a, const SampleRow& b) const
    {
        const Point pa = plane.At(Latitude(a), Longitude(a)), pb = plane.At(Latitude(b), Longitude(b));
        const double sa = Dot(pa, course), sb = Dot(pb, course);
        if (!(sa < 0.0 && sb >= 0.0))
            return false;
        const double f = -sa / (sb - sa);
        const Point across = {-course.y, course.x};
        const double sideways = Dot(pa, across) + f * (Dot(pb, across) - Dot(pa, across));
        return std::fabs(sideways) <= halfLength;
    }
};

void CheckTask(const FlightRows& rows, const FlightPlan& plan, PlanCheckReport* report)
{
    std::vector<size_t> order;
    for (size_t t = 0; t < plan.task.size(); ++t)
        if (plan.task[t].role != TurnpointRole::Takeoff && std::isfinite(plan.task[t].latitude) && std::isfinite(plan.task[t].longitude) && plan.task[t].radius > 0.0)
            order.push_back(t);
    std::vector<int32_t> fixes; // the rows with a position
    for (int32_t r = 0; r < rows.count; ++r)
        if (ValidFix(rows[r]))
            fixes.push_back(r);

    size_t from = 0; // into fixes
    std::vector<size_t> startCrossings; // the fixes past the start's edge, while the next turnpoint is not yet reached
    long start = -1; // the start's index in report->task while its crossings are counted
    auto settleStart = [&](size_t until) {
        if (start < 0)
            return;
        TurnpointCheck& check = report->task[static_cast<size_t>(start)];
        size_t last = 0;
        check.crossings = 0;
        for (size_t crossing : startCrossings)
            if (crossing <= until)
            {
                last = crossing;
                ++check.crossings;
            }
        check.row = fixes[last];
        check.time = rows[fixes[last]].gps_time;
        start = -1;
    };
    for (size_t k = 0; k < order.size(); ++k)
    {
        const Turnpoint& point = plan.task[order[k]];
        TurnpointCheck check;
        check.turnpoint = order[k];
        const LocalPlane plane(point.latitude, point.longitude);
        if (point.role == TurnpointRole::Start)
            startCrossings.clear();
        auto inside = [&](size_t f) {
            const SampleRow& row = rows[fixes[f]];
            return GroundDistance(point.latitude, point.longitude, Latitude(row), Longitude(row)) <= point.radius;
        };
        // A line lies across the course: from the start to the next point, into the goal from the one before.
        const Turnpoint* towards = point.role == TurnpointRole::Goal ? (k > 0 ? &plan.task[order[k - 1]] : nullptr) : (k + 1 < order.size() ? &plan.task[order[k + 1]] : nullptr);
        const bool line = point.line && towards && (point.role == TurnpointRole::Start || point.role == TurnpointRole::Goal);
        CourseLine across;
        if (line)
        {
            across.plane = plane;
            const Point other = plane.At(towards->latitude, towards->longitude);
            const double length = std::hypot(other.x, other.y);
            const double sign = point.role == TurnpointRole::Goal ? -1.0 : 1.0; // into the goal: away from the one before
            across.course = length > 0.0 ? Point{sign * other.x / length, sign * other.y / length} : Point{0.0, 1.0};
            across.halfLength = point.radius;
        }
        size_t found = fixes.size();
        for (size_t f = from; f < fixes.size(); ++f)
        {
            bool achieved;
            if (line)
                achieved = f > from && across.Crossed(rows[fixes[f - 1]], rows[fixes[f]]);
            else if (point.role == TurnpointRole::Start)
                achieved = f > from && inside(f) != inside(f - 1); // the task holds no direction: either way
            else
                achieved = inside(f);
            if (!achieved)
                continue;
            if (found == fixes.size())
                found = f;
            if (point.role != TurnpointRole::Start)
                break;
            startCrossings.push_back(f);
        }
        if (found < fixes.size())
        {
            settleStart(found);
            check.achieved = true;
            check.row = fixes[found];
            check.time = rows[fixes[found]].gps_time;
            from = found;
        }
        report->task.push_back(check);
        if (point.role == TurnpointRole::Start && check.achieved)
            start = static_cast<long>(report->task.size()) - 1;
    }
    settleStart(fixes.size());
}

} // namespace

double WaypointCheck::Time() const
{
    if (byRadius && byLog)
        return std::min(radiusTime, logTime);
    return byRadius ? radiusTime : byLog ? logTime : NoValue;
}

const char* AirspaceEventName(AirspaceEvent::Kind kind)
{
    switch (kind)
    {
    case AirspaceEvent::Entry: return "entry";
    case AirspaceEvent::Exit: return "exit";
    case AirspaceEvent::LimitUnknown: return "limit unknown";
    }
    return "";
}

PlanCheckReport CheckPlan(const FlightRows& rows, const FlightPlan& plan, const GroundHeight& ground)
{
    PlanCheckReport report;
    report.samples.resize(static_cast<size_t>(std::max(rows.count, 0)));
    std::vector<double> runningTime;
    runningTime.reserve(report.samples.size());
    for (const SampleRow& row : rows)
        runningTime.push_back(runningTime.empty() ? row.gps_time : std::max(runningTime.back(), row.gps_time));

    double takeoffAltitude = NoValue;
    for (const SampleRow& row : rows)
        if (ValidFix(row) && std::isfinite(row.gps_curalt))
        {
            takeoffAltitude = row.gps_curalt;
            break;
        }
    report.version = VersionInForce(rows, plan);
    report.homeAltitude = report.version >= 0 ? HomeAltitudeFor(plan, plan.missions[static_cast<size_t>(report.version)], takeoffAltitude)
                                              : std::isfinite(plan.homeAltitude) ? plan.homeAltitude : takeoffAltitude;
    if (report.version >= 0)
    {
        CheckWaypoints(rows, plan, ground, runningTime, &report);
        CheckLegs(rows, plan, &report);
    }
    CheckFence(rows, plan, &report);
    CheckAirspace(rows, plan, ground, &report);
    CheckTask(rows, plan, &report);
    return report;
}
