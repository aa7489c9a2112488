#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "plan/FlightPlan.h"
#include "track/FlightEvents.h"

// The plan as an autopilot's log shows it over time, shared by the readers of the logs: the
// items of the mission gathered as they come (in any order, repeated, from a download or an
// upload), a new version wherever the mission differs from the one in force, the fence and
// rally items made shapes and points, the home and the parameters that bear on the plan.
//
// A log holds no "upload finished" mark a reader can rely on (a ground station asks for
// single items again when it likes, and the autopilot writes its whole mission at every
// upload), so a version is told by its content: a new one starts where the count announced
// changes, or where an item differs from the one the version in force already holds.

// One place the log gives for home (item 0 of a mission that keeps it there, HOME_POSITION).
struct HomeReport
{
    double time;
    double latitude, longitude, altitude; // degrees, metres AMSL
};

class MissionVersions
{
public:
    // `homeFirst`: item 0 is home (ArduPilot's missions): a change of it moves home and
    // starts no version. `what` names the layer in notes: "mission", "fence", "rally".
    MissionVersions(bool homeFirst, const char* what) : homeFirst(homeFirst), what(what) {}

    // A transfer announced `count` items (MISSION_COUNT, CMD's CTot). A count other than the
    // version's in force starts a new version.
    void Announce(double time, int32_t count);
    // One item as the log gives it; `source` names the message. `precise`: the position is
    // stored to 1e-7 degree (an integer item), preferred over a float one of the same item.
    // `count`: the count the item's own record states (CMD's CTot), announced with it; an
    // item numbered at or past it is left out. -1 when the record states none.
    void Add(double time, const PlanItem& item, const char* source, bool precise = true, int32_t count = -1);

    // The versions in order, on the clock of the times given; empty when no item came.
    std::vector<MissionVersion> Versions() const;
    // Where item 0 of a home-first mission put home, in time order, once for each change.
    const std::vector<HomeReport>& HomeReports() const { return homes; }
    // The notes of what was left out, one line each.
    std::vector<std::string> Notes() const;

private:
    struct Slot
    {
        PlanItem item;
        bool precise = false;
        bool fresh = false; // read since this version started (not carried from the one before)
    };
    struct Building
    {
        double uploaded = NoValue;
        int32_t announced = 0;
        std::map<int32_t, Slot> items;
        std::set<std::string> sources;
    };

    bool homeFirst;
    const char* what;
    std::vector<Building> versions;
    std::vector<HomeReport> homes;
    size_t beyondCount = 0;    // items numbered at or past the count announced
    size_t beyondLimit = 0;    // items numbered past MostPlanItems
    size_t versionsRefused = 0; // changes past MostMissionVersions
    int32_t firstBeyond = -1;

    void StartVersion(double time, int32_t announced, bool carry);
    void ReportHome(double time, const PlanItem& item);
};

// What a reader of an autopilot's log gathers of the plan as it goes, made the plan at the end.
struct PlanFromLog
{
    MissionVersions mission{true, "mission"};
    MissionVersions fence{false, "fence"};
    MissionVersions rally{false, "rally"};
    std::map<std::string, double> parameters; // those IsPlanParameter names, the last value of each
    std::vector<HomeReport> homes;            // HOME_POSITION and the like (item 0 reports its own)

    // A home the log states apart from the mission; kept where it moves.
    void Home(const HomeReport& report);
    // Adds a progress record unless the plan holds MostProgressRecords already (counted then).
    void Progress(FlightPlan* plan, double time, MissionProgress::Kind kind, int32_t seq);
    // The missions' versions, the last fence and rally points, the parameters and the home at
    // take-off (by the first arming among the events) into the plan, the progress in time
    // order, and the notes. Item 0 of each home-first version becomes that home.
    void Finish(const std::vector<FlightEvent>& events, FlightPlan* plan) const;

    size_t progressOverflow = 0;
};

// Adds a line to plan->notes unless it is there already (the same refusal repeats with every
// transfer of the same items); at most MostPlanNotes lines.
const size_t MostPlanNotes = 50;
void AddPlanNote(FlightPlan* plan, const std::string& note);

// Appends the mission's versions and notes to the plan, and notes each item whose position
// is given in a frame whose height cannot be read.
void AddMissionVersions(const MissionVersions& versions, FlightPlan* plan);

// The fence shapes of fence items (MAV_CMD 5001 .. 5004, as the last version of the fence
// holds them): a polygon is the run of items of one command whose first param1 gives the
// vertex count; a circle is one item with its radius in param1. A polygon of fewer than 3
// vertices, one whose items disagree on its count or are not all there, a circle without a
// radius, is left out with a note. Replaces plan->fences when `items` holds any.
void SetFenceShapes(const std::vector<PlanItem>& items, FlightPlan* plan);
// The rally points of rally items (MAV_CMD 5100); replaces plan->rally when `items` holds any.
void SetRallyPoints(const std::vector<PlanItem>& items, FlightPlan* plan);

// Home as in force at take-off: the last report at or before `firstArming` plus a few seconds
// (an autopilot sets home as it arms and tells it just after), else the first report. Leaves
// the plan's home alone without reports.
void SetHomeAtTakeoff(std::vector<HomeReport> reports, double firstArming, FlightPlan* plan);

// The parameters that bear on the plan, by name, the last value the log holds for each:
// the fence's ceiling and floor and the waypoint radius of either autopilot family.
//   FENCE_ALT_MAX (metres, a copter's): the ceiling, when FENCE_TYPE is not logged or sets
//     bit 0 (the altitude fence), and the fence is not off for good (FENCE_ENABLE not logged
//     or not 0, or FENCE_AUTOENABLE above 0); FENCE_ALT_MIN likewise with bit 3.
//   FENCE_MAXALT, FENCE_MINALT (metres, a plane's): the ceiling or floor when above 0.
//   WP_RADIUS (metres, a plane's), WPNAV_RADIUS (centimetres, a copter's), NAV_ACC_RAD
//     (metres, PX4's): the acceptance radius.
//   GF_MAX_VER_DIST (metres, PX4's): the ceiling when above 0.
//   FENCE_RADIUS (metres, where FENCE_TYPE sets bit 1 and the fence is on), GF_MAX_HOR_DIST
//     (metres, PX4's, above 0): an inclusion circle about the plan's home, when it has one.
void ApplyPlanParameters(const std::map<std::string, double>& parameters, FlightPlan* plan);
// Whether the parameter of that name is one ApplyPlanParameters reads (so a reader keeps it).
bool IsPlanParameter(const std::string& name);

// The first arming in the events' times, NaN when none.
double FirstArmingTime(const std::vector<FlightEvent>& events);
