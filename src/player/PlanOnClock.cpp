#include "player/PlanOnClock.h"

#include <algorithm>
#include <cmath>

MissionMoment MissionAt(const FlightPlan& plan, double time)
{
    MissionMoment moment;
    moment.version = plan.VersionAt(time);
    if (moment.version < 0)
        return moment;
    const MissionVersion& version = plan.missions[static_cast<size_t>(moment.version)];
    const double from = moment.version > 0 && std::isfinite(version.uploaded) ? version.uploaded : -INFINITY;
    // An autopilot may say an item was reached before it names the next one, or never name it.
    bool inForceReached = false;
    for (const MissionProgress& record : plan.progress)
    {
        if (record.time > time)
            break; // in time order
        if (record.time < from)
            continue;
        if (record.kind == MissionProgress::Reached)
        {
            if (std::find(moment.reached.begin(), moment.reached.end(), record.seq) == moment.reached.end())
                moment.reached.push_back(record.seq);
            inForceReached = inForceReached || record.seq == moment.inForce;
        }
        else
        {
            moment.inForce = record.seq;
            inForceReached = false;
        }
    }
    if (moment.inForce >= 0 && !inForceReached)
        return moment;
    if (moment.reached.empty())
        return moment;
    // After the item in force when it was reached (a jump may have gone back before later ones).
    const int32_t last = inForceReached ? moment.inForce : *std::max_element(moment.reached.begin(), moment.reached.end());
    moment.inForce = -1;
    for (const PlanItem& item : version.items)
        if (item.seq > last && IsNavigationCommand(item.command))
        {
            moment.inForce = item.seq;
            break;
        }
    return moment;
}

std::string MissionLine(const FlightPlan& plan, const MissionMoment& moment)
{
    if (moment.version < 0)
        return "";
    std::string line = "mission v" + std::to_string(moment.version + 1) + " of " + std::to_string(plan.missions.size());
    if (moment.inForce >= 0)
        line += "  item " + std::to_string(moment.inForce) + " in force";
    if (!moment.reached.empty())
        line += "  " + std::to_string(moment.reached.size()) + " reached";
    return line;
}
