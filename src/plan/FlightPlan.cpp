#include "plan/FlightPlan.h"

#include <algorithm>

HeightReference HeightReferenceOfFrame(int32_t frame)
{
    switch (frame)
    {
    case 0:
    case 5:
        return HeightReference::Amsl;
    case 3:
    case 6:
        return HeightReference::AboveHome;
    case 10:
    case 11:
        return HeightReference::AboveTerrain;
    default:
        return HeightReference::Unknown;
    }
}

bool IsNavigationCommand(int32_t command)
{
    switch (command)
    {
    case CommandWaypoint:
    case CommandLoiterUnlimited:
    case CommandLoiterTurns:
    case CommandLoiterTime:
    case CommandLand:
    case CommandTakeoff:
    case CommandSplineWaypoint:
    case CommandVtolTakeoff:
    case CommandVtolLand:
    case 31: // loiter to altitude
        return true;
    default:
        return false;
    }
}

const char* TurnpointRoleName(TurnpointRole role)
{
    static const char* const names[] = {"takeoff", "start", "turnpoint", "ess", "goal"}; // in the roles' order
    const size_t index = static_cast<size_t>(role);
    return index < sizeof names / sizeof names[0] ? names[index] : "turnpoint";
}

int FlightPlan::VersionAt(double time) const
{
    if (missions.empty())
        return -1;
    int found = 0;
    for (size_t i = 0; i < missions.size(); ++i)
        if (std::isfinite(missions[i].uploaded) && missions[i].uploaded <= time)
            found = static_cast<int>(i);
    return found;
}

void FlightPlan::ShiftClock(double seconds)
{
    for (MissionVersion& version : missions)
        version.uploaded += seconds; // NaN stays NaN
    for (MissionProgress& record : progress)
        record.time += seconds;
}

double ItemAltitudeAmsl(const PlanItem& item, double homeAltitude, const GroundHeight& ground)
{
    if (!std::isfinite(item.altitude))
        return NoValue;
    switch (HeightReferenceOfFrame(item.frame))
    {
    case HeightReference::Amsl:
        return item.altitude;
    case HeightReference::AboveHome:
        return item.altitude + homeAltitude; // NaN when home is not known
    case HeightReference::AboveTerrain:
        return item.HasPosition() && ground ? item.altitude + ground(item.latitude, item.longitude) : NoValue;
    case HeightReference::Unknown:
        break;
    }
    return NoValue;
}

double HomeAltitudeFor(const FlightPlan& plan, const MissionVersion& version, double takeoffAltitude)
{
    if (std::isfinite(plan.homeAltitude))
        return plan.homeAltitude;
    if (!version.items.empty())
    {
        const PlanItem& first = version.items.front();
        if (first.seq == 0 && first.HasPosition() && HeightReferenceOfFrame(first.frame) == HeightReference::Amsl && std::isfinite(first.altitude))
            return first.altitude;
    }
    return takeoffAltitude;
}

double AirspaceLimitAmsl(const AirspaceLimit& limit, double groundAmsl)
{
    switch (limit.reference)
    {
    case AirspaceLimit::Surface:
        return groundAmsl;
    case AirspaceLimit::Amsl:
    case AirspaceLimit::FlightLevel: // pressure altitude, taken as AMSL: the log holds no pressure setting
        return limit.metres;
    case AirspaceLimit::AboveGround:
        return limit.metres + groundAmsl;
    case AirspaceLimit::Unlimited:
        return std::numeric_limits<double>::infinity();
    }
    return NoValue;
}

static bool SameNumber(double a, double b, double tolerance)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::fabs(a - b) <= tolerance;
}

bool SameItem(const PlanItem& a, const PlanItem& b)
{
    if (a.seq != b.seq || a.command != b.command || a.frame != b.frame || a.autocontinue != b.autocontinue)
        return false;
    for (int i = 0; i < 4; ++i)
        if (!SameNumber(a.param[i], b.param[i], 1e-4))
            return false;
    // A float item (MISSION_ITEM) carries a longitude near 180 degrees to 1.5e-5 (a metre or two); an integer one to 1e-7.
    return SameNumber(a.latitude, b.latitude, 2e-5) && SameNumber(a.longitude, b.longitude, 2e-5) && SameNumber(a.altitude, b.altitude, 0.01);
}
