#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "plan/FlightPlan.h"

// The mission as the clock finds it: which version the autopilot held, which item it was
// heading for and which it had reached, from the log's progress records up to that time.
struct MissionMoment
{
    int version = -1;     // index into plan.missions; -1 without a mission
    int32_t inForce = -1; // seq of the item in force; -1 when the log tells nothing yet
    std::vector<int32_t> reached; // seqs, in the order they were reached

    bool operator==(const MissionMoment& other) const { return version == other.version && inForce == other.inForce && reached == other.reached; }
    bool operator!=(const MissionMoment& other) const { return !(*this == other); }
};

// At `time` (the plan's clock: gps_time once converted). Only records from the version's upload
// on count, since the seqs of the version before meant other items. The item in force is the
// last one made current or started; once that one was reached, or without such a record once
// items were reached, the first navigation item after the last reached.
MissionMoment MissionAt(const FlightPlan& plan, double time);

// The display's line, empty without a mission: "mission v2 of 3  item 4 in force  3 reached".
std::string MissionLine(const FlightPlan& plan, const MissionMoment& moment);
