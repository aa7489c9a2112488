#include "datatool/CheckReport.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "datatool/CheckTraffic.h"
#include "log/SampleRow.h"

namespace
{

FaultKind Kind(int32_t index)
{
    return static_cast<FaultKind>(index);
}

std::string Format(const char* format, double value)
{
    char text[128];
    snprintf(text, sizeof text, format, value);
    return text;
}

// "samples 1000 to 1051 (10.20 s)": the stretch's sample numbers and the time it spans,
// after the prefix.
void PrintStretchStart(FILE* out, const char* prefix, const SampleRow* rows, const FaultStretch& stretch)
{
    const SampleRow& first = rows[stretch.firstRow];
    const SampleRow& last = rows[stretch.lastRow];
    if (stretch.firstRow == stretch.lastRow)
        fprintf(out, "%ssample %d", prefix, first.samplenumber);
    else
        fprintf(out, "%ssamples %d to %d (%.2f s)", prefix, first.samplenumber, last.samplenumber, last.gps_time - first.gps_time);
}

// The faults told by their worst value and its sample: the value's format, then the sample's.
struct WorstValueDetail
{
    FaultKind kind;
    const char* format;
};
const WorstValueDetail WorstValueDetails[] = {
    {FaultKind::BelowGround, ", deepest %.1f m at sample %d"}, {FaultKind::LowFlight, ", lowest %.1f m at sample %d"},
    {FaultKind::TimeGap, ", longest step %.2f s at sample %d"}, {FaultKind::PositionJump, ", up to %.0f m/s at sample %d"},
    {FaultKind::ClimbRate, ", up to %+.1f m/s at sample %d"},
};

// What went wrong in the stretch, after its samples.
void PrintStretchDetail(FILE* out, FaultKind kind, const SampleRow* rows, const FlightCheckReport& report, const FaultStretch& stretch)
{
    const int32_t worstSample = rows[stretch.worstRow].samplenumber;
    for (const WorstValueDetail& detail : WorstValueDetails)
        if (detail.kind == kind)
        {
            fprintf(out, detail.format, stretch.worst, worstSample);
            fprintf(out, "\n");
            return;
        }
    switch (kind)
    {
    case FaultKind::TimeBackwards:
        if (stretch.worst == 0.0)
            fprintf(out, ", time stands still");
        else if (std::isnan(stretch.worst))
            fprintf(out, ", time is not a number at sample %d", worstSample);
        else
            fprintf(out, ", back by up to %.2f s at sample %d", -stretch.worst, worstSample);
        break;
    case FaultKind::SampleGap:
    {
        int64_t missing = 0;
        bool backwards = false;
        for (int32_t i = stretch.firstRow + 1; i <= stretch.lastRow; ++i)
        {
            const int32_t step = report.samples[i].sampleStep;
            if (step > 1)
                missing += step - 1;
            else
                backwards = true;
        }
        if (missing > 0)
            fprintf(out, ", %lld missing", static_cast<long long>(missing));
        if (backwards)
            fprintf(out, ", numbers repeat or go back");
        break;
    }
    case FaultKind::BadPosition:
    case FaultKind::BadAttitude:
        fprintf(out, ", %d rows", stretch.lastRow - stretch.firstRow + 1);
        break;
    case FaultKind::FrozenPosition:
        fprintf(out, ", %d rows at one position", stretch.lastRow - stretch.firstRow + 1);
        break;
    default: // told by their worst value above
        break;
    }
    fprintf(out, "\n");
}

void PrintLowEnd(FILE* out, const char* name, bool present, const SampleRow* rows, const FaultStretch& stretch, const FlightCheckLimits& limits)
{
    if (!present)
    {
        fprintf(out, "%s: none (the log %s above %.0f m or over no drawn ground)\n", name, name[0] == 't' ? "starts" : "ends", limits.lowHeight);
        return;
    }
    fprintf(out, "%s:", name);
    PrintStretchStart(out, " ", rows, stretch);
    fprintf(out, ", under %.0f m, lowest %.1f m at sample %d\n", limits.lowHeight, stretch.worst, rows[stretch.worstRow].samplenumber);
}

} // namespace

std::string FaultKindHeading(FaultKind kind, const FlightCheckLimits& limits, double medianStep)
{
    switch (kind)
    {
    case FaultKind::BelowGround: return "below the ground";
    case FaultKind::LowFlight: return Format("under %.0f m above the ground, not the take-off or the landing", limits.lowHeight);
    case FaultKind::TimeBackwards: return "time going backwards or standing still";
    case FaultKind::TimeGap: return Format("gaps in time over %g median steps", limits.gapFactor) + Format(" (%.3f s)", limits.gapFactor * medianStep);
    case FaultKind::SampleGap: return "gaps in sample numbers";
    case FaultKind::PositionJump: return Format("position jumps over %g m/s", limits.maximumSpeed);
    case FaultKind::ClimbRate: return Format("climbs or descents over %g m/s", limits.maximumClimb);
    case FaultKind::BadPosition: return "positions at 0 or out of range";
    case FaultKind::BadAttitude: return "attitude angles not finite or beyond 2 pi";
    case FaultKind::FrozenPosition: return Format("frozen GPS, the same position for over %g s", limits.frozenSeconds);
    }
    return "";
}

const char* FaultKindColumn(FaultKind kind)
{
    static const char* const columns[FaultKindCount] = {"below_ground", "low_flight", "time_backwards", "time_gap", "sample_gap", "position_jump", "climb_rate", "bad_position", "bad_attitude", "frozen_gps"};
    return columns[static_cast<int32_t>(kind)];
}

const char* FaultKindLabel(FaultKind kind)
{
    static const char* const labels[FaultKindCount] = {"below the ground", "low flight", "time backwards", "time gap", "sample gap", "position jump", "climb rate", "bad position", "bad attitude", "frozen GPS"};
    return labels[static_cast<int32_t>(kind)];
}

FaultCount CountFaults(const FlightCheckReport& report)
{
    FaultCount count;
    for (const std::vector<FaultStretch>& stretches : report.faults)
    {
        count.stretches += static_cast<int32_t>(stretches.size());
        count.kinds += stretches.empty() ? 0 : 1;
    }
    return count;
}

std::string VerdictText(const FlightCheckReport& report)
{
    if (report.samples.empty())
        return "unusable: no accepted row";
    if (report.verdict == FlightVerdict::Unusable)
        return "unusable: no valid position";
    if (report.verdict == FlightVerdict::Clean)
        return "clean";
    const FaultCount count = CountFaults(report);
    char text[160];
    std::string verdict;
    if (count.stretches > 0)
    {
        snprintf(text, sizeof text, "%d warning%s in %d kind%s", count.stretches, count.stretches == 1 ? "" : "s", count.kinds, count.kinds == 1 ? "" : "s");
        verdict = text;
    }
    const size_t uncovered = report.samples.size() - report.coveredSamples;
    if (uncovered > 0)
    {
        snprintf(text, sizeof text, "%.1f%% of the samples over no drawn ground", 100.0 * uncovered / report.samples.size());
        verdict += (verdict.empty() ? "" : "; ") + std::string(text);
    }
    return verdict;
}

void PrintCheckReport(FILE* out, const std::string& logName, const SampleRow* rows, const FlightCheckReport& report, const FlightCheckLimits& limits, const PlanFindings* plan,
                      const std::vector<TrafficApproach>* traffic, const std::string& sections)
{
    const int32_t count = static_cast<int32_t>(report.samples.size());
    if (count == 0)
    {
        fprintf(out, "check '%s': no accepted row\n", logName.c_str());
        fprintf(out, "verdict: %s\n", VerdictText(report).c_str());
        return;
    }
    const SampleRow& first = rows[0];
    const SampleRow& last = rows[count - 1];
    fprintf(out, "check '%s': %d rows, samples %d to %d, time %.2f to %.2f s (%.1f min), median step %.3f s\n", logName.c_str(), count, first.samplenumber, last.samplenumber, first.gps_time, last.gps_time, (last.gps_time - first.gps_time) / 60.0, report.medianStep);
    if (report.coveredSamples > 0)
        fprintf(out, "height above the terrain: min %.1f m, median %.1f m, max %.1f m\n", report.minimumHeight, report.medianHeight, report.maximumHeight);
    else
        fprintf(out, "height above the terrain: unknown, no sample lies over drawn ground\n");
    const int32_t uncovered = count - report.coveredSamples;
    fprintf(out, "over missing tiles or beyond the drawn terrain: %d of %d samples (%.1f%%)\n", uncovered, count, 100.0 * uncovered / count);
    PrintLowEnd(out, "take-off", report.hasTakeOff, rows, report.takeOff, limits);
    PrintLowEnd(out, "landing", report.hasLanding, rows, report.landing, limits);

    for (int32_t k = 0; k < FaultKindCount; ++k)
    {
        const std::vector<FaultStretch>& stretches = report.faults[k];
        const std::string heading = FaultKindHeading(Kind(k), limits, report.medianStep);
        std::string parked;
        if (Kind(k) == FaultKind::FrozenPosition && report.frozenOnGround > 0)
            parked = Format(" (and %.0f on the ground before the take-off or after the landing, no fault)", report.frozenOnGround);
        if (stretches.empty())
        {
            fprintf(out, "%s: none%s\n", heading.c_str(), parked.c_str());
            continue;
        }
        fprintf(out, "%s: %zu stretch%s%s\n", heading.c_str(), stretches.size(), stretches.size() == 1 ? "" : "es", parked.c_str());
        for (size_t s = 0; s < stretches.size() && s < static_cast<size_t>(StretchLinesPerKind); ++s)
        {
            PrintStretchStart(out, "  ", rows, stretches[s]);
            PrintStretchDetail(out, Kind(k), rows, report, stretches[s]);
        }
        if (stretches.size() > static_cast<size_t>(StretchLinesPerKind))
            fprintf(out, "  ... and %zu more\n", stretches.size() - StretchLinesPerKind);
    }
    if (plan)
        PrintPlanFindings(out, rows, *plan);
    if (traffic)
        PrintTrafficApproaches(out, *traffic);
    fputs(sections.c_str(), out);
    fprintf(out, "verdict: %s\n", VerdictText(report).c_str());
}

std::string MissionCommandName(int32_t command)
{
    switch (command)
    {
    case CommandWaypoint: return "waypoint";
    case CommandLoiterUnlimited: return "loiter";
    case CommandLoiterTurns: return "loiter turns";
    case CommandLoiterTime: return "loiter time";
    case CommandReturnToLaunch: return "return to launch";
    case CommandLand: return "land";
    case CommandTakeoff: return "takeoff";
    case CommandSplineWaypoint: return "spline waypoint";
    case CommandVtolTakeoff: return "vtol takeoff";
    case CommandVtolLand: return "vtol land";
    case 31: return "loiter to altitude";
    default: return "command " + std::to_string(command);
    }
}

namespace
{

const char* HowReached(const WaypointCheck& waypoint)
{
    return waypoint.byRadius && waypoint.byLog ? "both" : waypoint.byRadius ? "radius" : waypoint.byLog ? "log" : "no";
}

// "12.5 m above the floor (1500ft AGL)", "the floor (150m AGL) unknown: no drawn ground"
std::string AgainstLimit(double metres, const AirspaceLimit& limit, const char* side, const char* limitName)
{
    char text[200];
    if (std::isinf(metres))
        snprintf(text, sizeof text, "the %s unlimited", limitName);
    else if (std::isnan(metres))
        snprintf(text, sizeof text, "the %s (%s) unknown: no drawn ground there", limitName, limit.text.c_str());
    else
        snprintf(text, sizeof text, "%.1f m %s the %s (%s)", std::fabs(metres), metres >= 0.0 ? side : (side[0] == 'a' ? "below" : "above"), limitName, limit.text.c_str());
    return text;
}

// A time with the sample number at that row, or "-".
std::string TimeAt(const SampleRow* rows, int32_t row, double time)
{
    if (std::isnan(time))
        return "-";
    char text[80];
    if (row >= 0)
        snprintf(text, sizeof text, "%.2f s (sample %d)", time, rows[row].samplenumber);
    else
        snprintf(text, sizeof text, "%.2f s", time);
    return text;
}

void PrintMission(FILE* out, const SampleRow* rows, const PlanFindings& findings)
{
    const PlanCheckReport& report = findings.report;
    const std::string home = std::isnan(report.homeAltitude) ? std::string("home's altitude unknown") : Format("heights above home from %.1f m AMSL", report.homeAltitude);
    fprintf(out, "mission: version %d of %zu (in force when it began), %zu waypoint%s, %s\n", report.version + 1, findings.plan.missions.size(),
            report.waypoints.size(), report.waypoints.size() == 1 ? "" : "s", home.c_str());
    if (!report.waypoints.empty())
        fprintf(out, "  seq  command           reached  time                      closest m  horizontal m  acceptance m\n");
    for (size_t k = 0; k < report.waypoints.size() && k < PlanLinesPerSection; ++k)
    {
        const WaypointCheck& waypoint = report.waypoints[k];
        fprintf(out, "  %3d  %-16s  %-7s  %-24s  %9.1f%s  %12.1f  %12.1f\n", waypoint.seq, MissionCommandName(waypoint.command).c_str(), HowReached(waypoint),
                TimeAt(rows, waypoint.reachedRow, waypoint.Time()).c_str(), waypoint.closest, waypoint.closestIn3d ? " 3-D" : "  2-D", waypoint.closestHorizontal, waypoint.acceptance);
    }
    if (report.waypoints.size() > PlanLinesPerSection)
        fprintf(out, "  ... and %zu more\n", report.waypoints.size() - PlanLinesPerSection);
    const char* legs = report.legsFromLog ? "the log's current item" : "the waypoint after the last reached";
    if (report.crossTrackSamples == 0)
        fprintf(out, "cross-track (the leg to %s): no sample on a leg\n", legs);
    else
        fprintf(out, "cross-track (the leg to %s, right positive): max %+.1f m at %.2f s, RMS %.1f m over %d samples\n", legs, report.crossTrackMaximum, report.crossTrackMaximumTime,
                report.crossTrackRms, report.crossTrackSamples);
}

void PrintFence(FILE* out, const SampleRow* rows, const PlanCheckReport& report)
{
    if (report.breaches.empty())
    {
        fprintf(out, "fence breaches: none, the least margin %.1f m\n", report.fenceMinimum);
        return;
    }
    fprintf(out, "fence breaches: %zu, the least margin %.1f m\n", report.breaches.size(), report.fenceMinimum);
    for (size_t b = 0; b < report.breaches.size() && b < PlanLinesPerSection; ++b)
    {
        const FenceBreach& breach = report.breaches[b];
        fprintf(out, "  %.2f to %.2f s (samples %d to %d), deepest %.1f m beyond the %s\n", breach.start, breach.end, rows[breach.firstRow].samplenumber, rows[breach.lastRow].samplenumber,
                breach.depth, breach.shape.c_str());
    }
    if (report.breaches.size() > PlanLinesPerSection)
        fprintf(out, "  ... and %zu more\n", report.breaches.size() - PlanLinesPerSection);
}

void PrintAirspace(FILE* out, const SampleRow* rows, const PlanFindings& findings)
{
    const PlanCheckReport& report = findings.report;
    fprintf(out, "airspace: %zu entries, exits and unknown limits; %d of %zu airspaces reach the flight's box\n", report.airspaceEvents.size(), report.airspacesNear,
            findings.plan.airspace.size());
    for (size_t e = 0; e < report.airspaceEvents.size() && e < PlanLinesPerSection; ++e)
    {
        const AirspaceEvent& event = report.airspaceEvents[e];
        const Airspace& airspace = findings.plan.airspace[event.airspace];
        fprintf(out, "  %s %s '%s' (class %s): %s, %s\n", TimeAt(rows, event.row, event.time).c_str(), AirspaceEventName(event.kind), airspace.name.c_str(), airspace.airspaceClass.c_str(),
                AgainstLimit(event.aboveFloor, airspace.floor, "above", "floor").c_str(), AgainstLimit(event.belowCeiling, airspace.ceiling, "below", "ceiling").c_str());
    }
    if (report.airspaceEvents.size() > PlanLinesPerSection)
        fprintf(out, "  ... and %zu more\n", report.airspaceEvents.size() - PlanLinesPerSection);
}

void PrintTask(FILE* out, const SampleRow* rows, const PlanFindings& findings)
{
    const PlanCheckReport& report = findings.report;
    size_t achieved = 0;
    for (const TurnpointCheck& check : report.task)
        achieved += check.achieved ? 1 : 0;
    fprintf(out, "task: %zu of %zu turnpoints achieved in order\n", achieved, report.task.size());
    for (const TurnpointCheck& check : report.task)
    {
        const Turnpoint& point = findings.plan.task[check.turnpoint];
        std::string crossings;
        if (point.role == TurnpointRole::Start && check.achieved)
            crossings = ", the last of " + std::to_string(check.crossings) + " crossing" + (check.crossings == 1 ? "" : "s");
        fprintf(out, "  %-9s '%s' %s %.0f m: %s%s\n", TurnpointRoleName(point.role), point.name.c_str(), point.line ? "line" : "cylinder", point.radius,
                check.achieved ? TimeAt(rows, check.row, check.time).c_str() : "not achieved", crossings.c_str());
    }
}

} // namespace

void PrintPlanFindings(FILE* out, const SampleRow* rows, const PlanFindings& plan)
{
    for (const std::string& note : plan.plan.notes)
        fprintf(out, "plan: %s\n", note.c_str());
    if (plan.report.version >= 0)
        PrintMission(out, rows, plan);
    if (plan.report.hasFence)
        PrintFence(out, rows, plan.report);
    if (!plan.plan.airspace.empty())
        PrintAirspace(out, rows, plan);
    if (!plan.plan.task.empty())
        PrintTask(out, rows, plan);
}

std::string PlanFindingsJson(const SampleRow* rows, const PlanFindings& findings)
{
    using nlohmann::json;
    const PlanCheckReport& report = findings.report;
    // Not a number and the infinities have no JSON: null, as nlohmann writes them, and an
    // unlimited ceiling by its text.
    auto sample = [&](int32_t row) { return row >= 0 ? json(rows[row].samplenumber) : json(nullptr); };
    json object = json::object();
    object["notes"] = findings.plan.notes;
    if (report.version >= 0)
    {
        json waypoints = json::array();
        for (const WaypointCheck& waypoint : report.waypoints)
            waypoints.push_back({{"seq", waypoint.seq}, {"command", waypoint.command}, {"command_name", MissionCommandName(waypoint.command)}, {"latitude", waypoint.latitude},
                                 {"longitude", waypoint.longitude}, {"altitude_m", waypoint.altitude}, {"acceptance_m", waypoint.acceptance}, {"reached", HowReached(waypoint)},
                                 {"time", waypoint.Time()}, {"sample", sample(waypoint.reachedRow)}, {"radius_time", waypoint.radiusTime}, {"log_time", waypoint.logTime},
                                 {"closest_m", waypoint.closest}, {"closest_in_3d", waypoint.closestIn3d}, {"closest_horizontal_m", waypoint.closestHorizontal},
                                 {"closest_time", waypoint.closestTime}});
        object["mission"] = {{"version", report.version + 1}, {"versions", findings.plan.missions.size()}, {"home_altitude_m", report.homeAltitude}, {"waypoints", waypoints},
                             {"legs_from_log", report.legsFromLog},
                             {"cross_track", {{"max_m", report.crossTrackMaximum}, {"max_time", report.crossTrackMaximumTime}, {"rms_m", report.crossTrackRms}, {"samples", report.crossTrackSamples}}}};
    }
    if (report.hasFence)
    {
        json breaches = json::array();
        for (const FenceBreach& breach : report.breaches)
            breaches.push_back({{"start", breach.start}, {"end", breach.end}, {"first_sample", sample(breach.firstRow)}, {"last_sample", sample(breach.lastRow)}, {"deepest_m", breach.depth},
                                {"shape", breach.shape}});
        object["fence"] = {{"least_margin_m", report.fenceMinimum}, {"breaches", breaches}};
    }
    if (!findings.plan.airspace.empty())
    {
        json events = json::array();
        for (const AirspaceEvent& event : report.airspaceEvents)
        {
            const Airspace& airspace = findings.plan.airspace[event.airspace];
            events.push_back({{"time", event.time}, {"sample", sample(event.row)}, {"kind", AirspaceEventName(event.kind)}, {"name", airspace.name}, {"class", airspace.airspaceClass},
                              {"above_floor_m", event.aboveFloor}, {"below_ceiling_m", event.belowCeiling}, {"floor", airspace.floor.text}, {"ceiling", airspace.ceiling.text}});
        }
        object["airspace"] = {{"airspaces", findings.plan.airspace.size()}, {"near", report.airspacesNear}, {"events", events}};
    }
    if (!findings.plan.task.empty())
    {
        json task = json::array();
        for (const TurnpointCheck& check : report.task)
        {
            const Turnpoint& point = findings.plan.task[check.turnpoint];
            json entry = {{"name", point.name}, {"role", TurnpointRoleName(point.role)}, {"line", point.line}, {"radius_m", point.radius}, {"achieved", check.achieved},
                          {"time", check.time}, {"sample", sample(check.row)}};
            if (point.role == TurnpointRole::Start)
                entry["crossings"] = check.crossings;
            task.push_back(entry);
        }
        object["task"] = task;
    }
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}
