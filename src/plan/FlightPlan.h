#pragma once
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// What a flight was meant to do, beside what it did: the autopilot's mission (every version
// uploaded), its fence and rally points, a glider's task, and the airspace around it. The
// readers of flight files fill it from the log's own messages, the readers of the pilots'
// files (ground stations' plans and waypoint lists, task files, OpenAir) from those; the
// player draws it and `check` measures the flight against it. Nothing here knows the scene.
//
// Times are seconds on the flight file's clock while a reader holds the plan, and on the
// converted log's clock (gps_time) once the conversion has moved it, as for the events.
// Positions are degrees (north and east positive); NaN where an item has none.

const double NoValue = std::numeric_limits<double>::quiet_NaN();

// Bounds on what one plan holds, whatever a file claims: a reader stops at them and says so.
const size_t MostPlanItems = 2000;       // items of one mission version
const size_t MostMissionVersions = 100;
const size_t MostFenceShapes = 500;
const size_t MostShapeVertices = 2000;   // of one fence polygon or airspace outline
const size_t MostRallyPoints = 200;
const size_t MostAirspaces = 20000;
const size_t MostTurnpoints = 100;
const size_t MostProgressRecords = 100000;

// How an item's altitude is to be read: MAVLink's MAV_FRAME numbers.
enum class HeightReference
{
    Amsl,         // frames 0 and 5: metres above mean sea level
    AboveHome,    // frames 3 and 6: metres above home (item 0, else the take-off point)
    AboveTerrain, // frames 10 and 11: metres above the ground under the item
    Unknown,      // any other frame: the item is kept, drawn without height, and named in a note
};
HeightReference HeightReferenceOfFrame(int32_t frame);

// The MAV_CMD numbers the plan treats by meaning; every other command is kept and written as read.
enum PlanCommand : int32_t
{
    CommandWaypoint = 16,
    CommandLoiterUnlimited = 17,
    CommandLoiterTurns = 18,
    CommandLoiterTime = 19,
    CommandReturnToLaunch = 20,
    CommandLand = 21,
    CommandTakeoff = 22,
    CommandSplineWaypoint = 82,
    CommandVtolTakeoff = 84,
    CommandVtolLand = 85,
    CommandFencePolygonInclusion = 5001,
    CommandFencePolygonExclusion = 5002,
    CommandFenceCircleInclusion = 5003,
    CommandFenceCircleExclusion = 5004,
    CommandRallyPoint = 5100,
};

// Whether the command names a place the aircraft flies to (a navigation command with a position).
bool IsNavigationCommand(int32_t command);

// One item of a mission as the autopilot holds it.
struct PlanItem
{
    int32_t seq = 0;      // its number in the mission; 0 is home where the autopilot keeps it there
    int32_t command = 0;  // MAV_CMD
    int32_t frame = 0;    // MAV_FRAME as stated
    double param[4] = {0.0, 0.0, 0.0, 0.0};
    double latitude = NoValue;
    double longitude = NoValue;
    double altitude = NoValue; // metres, as stated in its frame
    bool autocontinue = true;

    bool HasPosition() const { return std::isfinite(latitude) && std::isfinite(longitude) && !(latitude == 0.0 && longitude == 0.0); }
};

// One version of the mission: what was uploaded (or downloaded) at one time.
struct MissionVersion
{
    double uploaded = NoValue; // when the log first shows it; NaN from a pilot's file
    int32_t announced = 0;     // the count its source announced (MISSION_COUNT, CMD's CTot); 0 when none
    std::vector<PlanItem> items; // by seq, without gaps in what was read (an item never read is missing)
    std::string source;          // "MISSION_ITEM_INT", "CMD", "navigator_mission_item", "plan file", ...
    bool homeFirst = false;      // item 0 is home, not a place to fly (ArduPilot keeps it so)
};

struct PlanPoint
{
    double latitude = NoValue;
    double longitude = NoValue;
};

// One fence shape: a polygon (its vertices in order, closed implicitly) or a circle.
struct FenceShape
{
    bool inclusion = true; // inside is allowed (green); false: an exclusion zone (red)
    bool circle = false;
    std::vector<PlanPoint> vertices; // the polygon's, at least 3
    PlanPoint centre;                // the circle's
    double radius = NoValue;         // metres, the circle's
};

struct RallyPoint
{
    double latitude = NoValue;
    double longitude = NoValue;
    double altitude = NoValue;
    int32_t frame = 3;
};

// A glider task: turnpoints with their cylinders, the start of the speed section and its end.
enum class TurnpointRole
{
    Takeoff,
    Start,   // start of the speed section (SSS)
    Turn,
    EndOfSpeedSection,
    Goal,
};
const char* TurnpointRoleName(TurnpointRole role); // "takeoff", "start", "turnpoint", "ess", "goal"

struct Turnpoint
{
    std::string name;
    double latitude = NoValue;
    double longitude = NoValue;
    double altitude = NoValue; // metres AMSL when the task gives it
    double radius = NoValue;   // metres of its cylinder (or half the line's length)
    TurnpointRole role = TurnpointRole::Turn;
    bool line = false;         // a start or finish line across the course instead of a cylinder
};

// The height of an airspace's floor or ceiling as the file states it.
struct AirspaceLimit
{
    enum Reference
    {
        Surface,     // SFC, GND: the ground itself
        Amsl,        // metres above mean sea level
        AboveGround, // metres above the ground (AGL) measured on the drawn terrain
        FlightLevel, // value holds metres: the flight level's hundreds of feet of standard pressure altitude
        Unlimited,   // UNL
    };
    Reference reference = Surface;
    double metres = 0.0;
    std::string text; // as the file wrote it, for the report: "FL 95", "2500ft MSL"
};

struct Airspace
{
    std::string name;
    std::string airspaceClass; // "C", "D", "R", "Q", "P", "CTR", "TMZ", ...
    AirspaceLimit floor, ceiling;
    std::vector<PlanPoint> outline; // closed implicitly; arcs and circles laid out as points
};

// What the log says the autopilot did with its mission over time.
struct MissionProgress
{
    enum Kind
    {
        Current,  // the item in force became this one (MISSION_CURRENT, mission_result's seq_current)
        Reached,  // the autopilot said it reached the item (MISSION_ITEM_REACHED, seq_reached)
        Started,  // the item started executing (DataFlash MISE, navigator_mission_item)
    };
    double time = 0.0;
    Kind kind = Current;
    int32_t seq = 0;
};

struct FlightPlan
{
    std::vector<MissionVersion> missions; // in the order they appeared
    std::vector<FenceShape> fences;
    double fenceCeiling = NoValue; // metres above home (FENCE_ALT_MAX, FENCE_MAXALT); NaN when not logged
    double fenceFloor = NoValue;   // metres above home (FENCE_ALT_MIN, FENCE_MINALT) when enabled
    std::vector<RallyPoint> rally;
    std::vector<Turnpoint> task;
    std::vector<Airspace> airspace;
    std::vector<MissionProgress> progress; // in time order
    double defaultAcceptance = NoValue; // metres: the autopilot's waypoint radius (WP_RADIUS, WPNAV_RADIUS)
    // Home as the plan or the log states it (item 0, HOME_POSITION); NaN when neither does.
    double homeLatitude = NoValue, homeLongitude = NoValue, homeAltitude = NoValue;
    // What the readers could not take, one line each ("fence: polygon 3 does not close; left out").
    std::vector<std::string> notes;

    bool Empty() const { return missions.empty() && fences.empty() && rally.empty() && task.empty() && airspace.empty(); }
    // The version in force at `time` (on the plan's clock): the last uploaded at or before
    // it, else the first; -1 when there is none.
    int VersionAt(double time) const;
    // Adds seconds to every time it holds (the conversion's move onto the log's clock).
    void ShiftClock(double seconds);
};

// The ground's height above mean sea level at a place, NaN where it is not known (outside
// the drawn terrain). Callers pass the drawn ground, so the plan is checked against what is shown.
using GroundHeight = std::function<double(double latitude, double longitude)>;

// An item's altitude above mean sea level, from its frame: AMSL as stated, above home added
// to the home's altitude (`homeAltitude`: item 0's, else the take-off point's), above terrain
// added to the ground under it. NaN when the frame is unknown or what it needs is not known.
double ItemAltitudeAmsl(const PlanItem& item, double homeAltitude, const GroundHeight& ground);

// The home altitude items above home count from: the plan's home, else item 0 of the version
// when it has a position in an AMSL frame, else `takeoffAltitude`.
double HomeAltitudeFor(const FlightPlan& plan, const MissionVersion& version, double takeoffAltitude);

// An airspace limit in metres above mean sea level at a place with the ground at `groundAmsl`
// (NaN when not known: an above-ground limit is then NaN, a surface limit too).
double AirspaceLimitAmsl(const AirspaceLimit& limit, double groundAmsl);

// Two items the same, for telling versions apart: the command, frame, parameters and position
// (to the 1e-7 degree the autopilot stores), altitude to a centimetre.
bool SameItem(const PlanItem& a, const PlanItem& b);
