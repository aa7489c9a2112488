#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/SampleRow.h"
#include "plan/FlightPlan.h"

// The flight measured against what it was meant to do: the mission's waypoints, the leg it
// flew, the fence, the airspace it passed through and a glider's task. Facts only: what was
// reached, how close, how far off and when; nothing here judges the flight. Horizontal
// geometry is worked in a flat plane laid on each shape (or leg), so that metres are right at
// any latitude; circles are measured by GroundDistance. Times are the rows' gps_time.

// The acceptance radius when neither the item nor the autopilot's parameters give one.
const double DefaultAcceptance = 10.0; // metres

struct WaypointCheck
{
    int32_t seq = 0;
    int32_t command = 0;
    double latitude = NoValue, longitude = NoValue;
    double altitude = NoValue;   // metres AMSL; NaN when its frame or home is not known
    double acceptance = 0.0;     // metres: the item's, the autopilot's or DefaultAcceptance
    // The closest the flight came, from where the waypoint before it was reached on: 3-D
    // where the altitude is known, else horizontal (closestIn3d false).
    double closest = NoValue;
    double closestHorizontal = NoValue;
    bool closestIn3d = false;
    double closestTime = NoValue;
    bool byRadius = false;       // a fix lay within the acceptance radius
    bool byLog = false;          // the log says the autopilot reached it
    double radiusTime = NoValue; // the first fix within the radius
    double logTime = NoValue;    // the log's first Reached record for its seq
    int32_t reachedRow = -1;     // the first row at or after the earlier of the two

    bool Reached() const { return byRadius || byLog; }
    double Time() const; // the earlier of radiusTime and logTime; NaN when not reached
};

// A stretch of rows outside the allowed space of the fence.
struct FenceBreach
{
    int32_t firstRow = 0, lastRow = 0;
    double start = 0.0, end = 0.0; // their times
    double depth = 0.0;            // metres beyond the wall or ceiling at the deepest
    std::string shape;             // "inclusion polygon 2", "exclusion circle 1", "ceiling", "floor"
};

struct AirspaceEvent
{
    enum Kind
    {
        Entry,        // into the volume (at the first fix, too, when the flight starts inside)
        Exit,         // out of it, sideways, up or down
        LimitUnknown, // inside the outline where a floor or ceiling above ground has no drawn ground under it
    };
    Kind kind = Entry;
    int32_t row = 0;
    double time = 0.0;
    size_t airspace = 0; // index into the plan's airspace
    // Metres above the floor and below the ceiling there (negative: under it, over it);
    // NaN where the limit is not known, infinite for an unlimited ceiling.
    double aboveFloor = NoValue;
    double belowCeiling = NoValue;
};
const char* AirspaceEventName(AirspaceEvent::Kind kind); // "entry", "exit", "limit unknown"

struct TurnpointCheck
{
    size_t turnpoint = 0; // index into the plan's task
    bool achieved = false;
    int32_t row = -1;     // the first fix past the cylinder's edge or the line
    double time = NoValue;
    int32_t crossings = 0; // the start's crossings in its direction before the next turnpoint
};

// What the plan says of one row.
struct PlanSample
{
    int32_t legSeq = -1;          // the seq of the waypoint the active leg leads to; -1: none
    double crossTrack = NoValue;  // metres off the leg's line, right of it positive
    double fenceMargin = NoValue; // metres to the nearest fence wall, ceiling or floor; negative outside
    std::vector<uint32_t> airspaces; // the airspaces the fix is inside (indices into the plan's)
};

struct PlanCheckReport
{
    std::vector<PlanSample> samples; // parallel to the rows

    // The mission: the version in force when it began (-1: no mission) and its waypoints.
    int32_t version = -1;
    double homeAltitude = NoValue; // metres AMSL that heights above home count from
    std::vector<WaypointCheck> waypoints;
    bool legsFromLog = false;      // the active leg followed the log's Current records
    double crossTrackMaximum = NoValue; // signed, the largest in size
    double crossTrackMaximumTime = NoValue;
    double crossTrackRms = NoValue;
    int32_t crossTrackSamples = 0;

    bool hasFence = false; // shapes, a ceiling or a floor
    double fenceMinimum = NoValue; // the smallest margin over the flight
    std::vector<FenceBreach> breaches;

    std::vector<AirspaceEvent> airspaceEvents; // in row order
    int32_t airspacesNear = 0; // outlines that reach the flight's box (only those are looked at)

    std::vector<TurnpointCheck> task; // the task's turnpoints but the take-off, in order
};

// Measures the rows against the plan over `ground`, the drawn ground (GroundHeightOf): above
// ground limits and items above terrain take their heights from it, and where it has none they
// are not known. Runs in time linear in the rows times the shapes near the flight.
PlanCheckReport CheckPlan(const FlightRows& rows, const FlightPlan& plan, const GroundHeight& ground);
