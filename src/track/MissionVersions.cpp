#include "track/MissionVersions.h"

#include <algorithm>
#include <cmath>

namespace
{

const size_t MostHomeReports = 1000; // changes of home kept; a log that moves it more is broken
// An autopilot sets home as it arms and tells it within a few seconds after.
const double HomeSettling = 10.0;

std::string Plural(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// An item without a place where the log gives none: (0, 0) is what an autopilot sends for
// "no position", and anything off the globe is no place either.
PlanItem WithPlace(PlanItem item)
{
    const bool valid = std::isfinite(item.latitude) && std::isfinite(item.longitude) && std::fabs(item.latitude) <= 90.0 && std::fabs(item.longitude) <= 180.0 &&
                       !(item.latitude == 0.0 && item.longitude == 0.0);
    if (!valid)
        item.latitude = item.longitude = NoValue;
    return item;
}

bool SamePlace(const HomeReport& a, const HomeReport& b)
{
    const auto same = [](double x, double y, double tolerance) { return std::isnan(x) ? std::isnan(y) : std::fabs(x - y) <= tolerance; };
    return same(a.latitude, b.latitude, 2e-5) && same(a.longitude, b.longitude, 2e-5) && same(a.altitude, b.altitude, 0.01);
}

} // namespace

void MissionVersions::StartVersion(double time, int32_t announced, bool carry)
{
    Building version;
    version.uploaded = time;
    version.announced = announced;
    if (carry && !versions.empty())
    {
        version.items = versions.back().items;
        version.sources = versions.back().sources;
        for (auto& entry : version.items)
            entry.second.fresh = false;
    }
    versions.push_back(std::move(version));
}

void MissionVersions::Announce(double time, int32_t count)
{
    if (count < 0 || versionsRefused > 0)
        return;
    if (versions.empty())
    {
        StartVersion(time, count, false);
        return;
    }
    Building& current = versions.back();
    if (current.announced == count)
        return;
    if (current.announced < 0 || current.items.empty())
    {
        // The count of the transfer whose items came first, or a count announced again
        // before any item of it came.
        current.announced = count;
        if (current.items.empty())
            current.uploaded = time;
        return;
    }
    if (versions.size() >= MostMissionVersions)
    {
        ++versionsRefused;
        return;
    }
    StartVersion(time, count, false);
}

void MissionVersions::ReportHome(double time, const PlanItem& item)
{
    if (!item.HasPosition())
        return;
    const HomeReport report{time, item.latitude, item.longitude, HeightReferenceOfFrame(item.frame) == HeightReference::Amsl ? item.altitude : NoValue};
    if ((!homes.empty() && SamePlace(homes.back(), report)) || homes.size() >= MostHomeReports)
        return;
    homes.push_back(report);
}

void MissionVersions::Add(double time, const PlanItem& given, const char* source, bool precise, int32_t count)
{
    if (versionsRefused > 0 || given.seq < 0)
        return;
    if (static_cast<size_t>(given.seq) >= MostPlanItems)
    {
        ++beyondLimit;
        return;
    }
    if (count >= 0)
    {
        if (given.seq >= count)
        {
            if (beyondCount++ == 0)
                firstBeyond = given.seq;
            return;
        }
        Announce(time, count);
        if (versionsRefused > 0)
            return;
    }
    if (versions.empty())
        StartVersion(time, -1, false);
    const PlanItem item = WithPlace(given);
    if (versions.back().announced >= 0 && item.seq >= versions.back().announced)
    {
        if (beyondCount++ == 0)
            firstBeyond = item.seq;
        return;
    }
    const bool home = homeFirst && item.seq == 0;
    if (home)
        ReportHome(time, item);
    Building* version = &versions.back();
    const auto found = version->items.find(item.seq);
    if (found != version->items.end())
    {
        Slot& slot = found->second;
        if (SameItem(slot.item, item))
        {
            // The same item again; an integer one's position is the more precise.
            if (precise && !slot.precise)
            {
                slot.item = item;
                slot.precise = true;
            }
            slot.fresh = true;
            version->sources.insert(source);
            return;
        }
        if (!home && slot.fresh)
        {
            // An item of this version's own transfer changed: what the autopilot holds now
            // is another mission, the rest of it as the version before held it until its items come.
            if (versions.size() >= MostMissionVersions)
            {
                ++versionsRefused;
                return;
            }
            StartVersion(time, version->announced, true);
            version = &versions.back();
        }
    }
    Slot& slot = version->items[item.seq];
    slot.item = item;
    slot.precise = precise;
    slot.fresh = true;
    version->sources.insert(source);
    if (std::isnan(version->uploaded))
        version->uploaded = time;
}

std::vector<MissionVersion> MissionVersions::Versions() const
{
    std::vector<MissionVersion> result;
    for (const Building& building : versions)
    {
        if (building.items.empty())
            continue;
        MissionVersion version;
        version.uploaded = building.uploaded;
        version.announced = std::max(building.announced, 0);
        version.homeFirst = homeFirst;
        for (const auto& entry : building.items)
            version.items.push_back(entry.second.item);
        for (const std::string& source : building.sources)
            version.source += (version.source.empty() ? "" : " and ") + source;
        result.push_back(std::move(version));
    }
    return result;
}

std::vector<std::string> MissionVersions::Notes() const
{
    std::vector<std::string> notes;
    const std::string layer = what;
    if (beyondCount > 0)
        notes.push_back(layer + ": " + Plural(beyondCount, "item", "items") + " numbered at or beyond the count announced left out (the first: item " + std::to_string(firstBeyond) + ")");
    if (beyondLimit > 0)
        notes.push_back(layer + ": " + Plural(beyondLimit, "item", "items") + " numbered " + std::to_string(MostPlanItems) + " or more left out");
    if (versionsRefused > 0)
        notes.push_back(layer + ": more than " + std::to_string(MostMissionVersions) + " versions; the later ones left out");
    return notes;
}

void AddPlanNote(FlightPlan* plan, const std::string& note)
{
    if (plan->notes.size() < MostPlanNotes && std::find(plan->notes.begin(), plan->notes.end(), note) == plan->notes.end())
        plan->notes.push_back(note);
}

void AddMissionVersions(const MissionVersions& versions, FlightPlan* plan)
{
    for (MissionVersion& version : versions.Versions())
    {
        if (plan->missions.size() >= MostMissionVersions)
            break;
        for (const PlanItem& item : version.items)
            if (item.HasPosition() && HeightReferenceOfFrame(item.frame) == HeightReference::Unknown)
                AddPlanNote(plan, "mission: item " + std::to_string(item.seq) + " is placed in frame " + std::to_string(item.frame) + ", whose height this program cannot read: drawn without height");
        plan->missions.push_back(std::move(version));
    }
    for (const std::string& note : versions.Notes())
        AddPlanNote(plan, note);
}

void SetFenceShapes(const std::vector<PlanItem>& items, FlightPlan* plan)
{
    if (items.empty())
        return;
    plan->fences.clear();
    size_t tooMany = 0;
    const auto keep = [&](FenceShape shape)
    {
        if (plan->fences.size() < MostFenceShapes)
            plan->fences.push_back(std::move(shape));
        else
            ++tooMany;
    };
    for (size_t i = 0; i < items.size();)
    {
        const PlanItem& first = items[i];
        const std::string where = "fence: item " + std::to_string(first.seq);
        if (first.command == CommandFenceCircleInclusion || first.command == CommandFenceCircleExclusion)
        {
            ++i;
            if (!first.HasPosition() || !(first.param[0] > 0.0) || !std::isfinite(first.param[0]))
            {
                AddPlanNote(plan, where + ": a circle without a centre or a radius; left out");
                continue;
            }
            FenceShape shape;
            shape.inclusion = first.command == CommandFenceCircleInclusion;
            shape.circle = true;
            shape.centre = PlanPoint{first.latitude, first.longitude};
            shape.radius = first.param[0];
            keep(std::move(shape));
            continue;
        }
        if (first.command != CommandFencePolygonInclusion && first.command != CommandFencePolygonExclusion)
        {
            AddPlanNote(plan, where + ": command " + std::to_string(first.command) + " is no fence shape; left out");
            ++i;
            continue;
        }
        // The run of vertices: consecutive items of one command that agree on the count.
        const double count = first.param[0];
        size_t run = 0;
        while (i + run < items.size() && items[i + run].command == first.command && items[i + run].param[0] == count && items[i + run].seq == first.seq + static_cast<int32_t>(run) &&
               items[i + run].HasPosition() && !(count >= 3.0 && run >= count))
            ++run;
        const bool whole = count >= 3.0 && count <= static_cast<double>(MostShapeVertices) && static_cast<double>(run) == count;
        if (!whole)
        {
            char counted[32];
            snprintf(counted, sizeof counted, "%g", count);
            if (!(count >= 3.0))
                AddPlanNote(plan, where + ": a polygon of " + counted + " vertices, fewer than 3; left out");
            else if (count > static_cast<double>(MostShapeVertices))
                AddPlanNote(plan, where + ": a polygon of " + counted + " vertices, more than " + std::to_string(MostShapeVertices) + "; left out");
            else
                AddPlanNote(plan, where + ": a polygon of " + counted + " vertices of which " + std::to_string(run) + " follow with its count and a position; left out");
            i += std::max<size_t>(run, 1);
            continue;
        }
        FenceShape shape;
        shape.inclusion = first.command == CommandFencePolygonInclusion;
        for (size_t k = 0; k < run; ++k)
            shape.vertices.push_back(PlanPoint{items[i + k].latitude, items[i + k].longitude});
        keep(std::move(shape));
        i += run;
    }
    if (tooMany > 0)
        AddPlanNote(plan, "fence: more than " + std::to_string(MostFenceShapes) + " shapes; " + std::to_string(tooMany) + " left out");
}

void SetRallyPoints(const std::vector<PlanItem>& items, FlightPlan* plan)
{
    if (items.empty())
        return;
    plan->rally.clear();
    size_t refused = 0, tooMany = 0;
    for (const PlanItem& item : items)
    {
        if (item.command != CommandRallyPoint || !item.HasPosition())
            ++refused;
        else if (plan->rally.size() >= MostRallyPoints)
            ++tooMany;
        else
            plan->rally.push_back(RallyPoint{item.latitude, item.longitude, item.altitude, item.frame});
    }
    if (refused > 0)
        AddPlanNote(plan, "rally: " + Plural(refused, "item", "items") + " without a position or of another command left out");
    if (tooMany > 0)
        AddPlanNote(plan, "rally: more than " + std::to_string(MostRallyPoints) + " points; " + std::to_string(tooMany) + " left out");
}

void SetHomeAtTakeoff(std::vector<HomeReport> reports, double firstArming, FlightPlan* plan)
{
    if (reports.empty())
        return;
    std::stable_sort(reports.begin(), reports.end(), [](const HomeReport& a, const HomeReport& b) { return a.time < b.time; });
    const HomeReport* chosen = &reports.front();
    if (std::isfinite(firstArming))
        for (const HomeReport& report : reports)
            if (report.time <= firstArming + HomeSettling)
                chosen = &report;
    plan->homeLatitude = chosen->latitude;
    plan->homeLongitude = chosen->longitude;
    plan->homeAltitude = chosen->altitude;
}

namespace
{

const char* const PlanParameters[] = {"FENCE_ALT_MAX", "FENCE_ALT_MIN", "FENCE_TYPE", "FENCE_ENABLE", "FENCE_AUTOENABLE", "FENCE_MAXALT", "FENCE_MINALT", "WP_RADIUS", "WPNAV_RADIUS", "NAV_ACC_RAD", "GF_MAX_VER_DIST", "FENCE_RADIUS", "GF_MAX_HOR_DIST"};

double Parameter(const std::map<std::string, double>& parameters, const char* name)
{
    const auto found = parameters.find(name);
    return found == parameters.end() || !std::isfinite(found->second) ? NoValue : found->second;
}

} // namespace

bool IsPlanParameter(const std::string& name)
{
    return std::any_of(std::begin(PlanParameters), std::end(PlanParameters), [&](const char* known) { return name == known; });
}

void ApplyPlanParameters(const std::map<std::string, double>& parameters, FlightPlan* plan)
{
    const double type = Parameter(parameters, "FENCE_TYPE");
    // A fence switched off for good draws no ceiling; one that arms itself at take-off does.
    const bool enabled = Parameter(parameters, "FENCE_ENABLE") != 0.0 || (Parameter(parameters, "FENCE_AUTOENABLE") > 0.0);
    const auto typeHas = [type, enabled](int bit) { return enabled && (std::isnan(type) || (type >= 0.0 && type < 65536.0 && (static_cast<int>(type) >> bit & 1))); };
    const auto positive = [](double value) { return value > 0.0 ? value : NoValue; };
    double ceiling = NoValue, floor = NoValue;
    if (std::isfinite(Parameter(parameters, "FENCE_ALT_MAX")) && typeHas(0))
        ceiling = Parameter(parameters, "FENCE_ALT_MAX");
    else if (std::isfinite(positive(Parameter(parameters, "FENCE_MAXALT"))))
        ceiling = Parameter(parameters, "FENCE_MAXALT");
    else
        ceiling = positive(Parameter(parameters, "GF_MAX_VER_DIST"));
    if (std::isfinite(Parameter(parameters, "FENCE_ALT_MIN")) && typeHas(3))
        floor = Parameter(parameters, "FENCE_ALT_MIN");
    else
        floor = positive(Parameter(parameters, "FENCE_MINALT"));
    if (std::isfinite(ceiling))
        plan->fenceCeiling = ceiling;
    if (std::isfinite(floor))
        plan->fenceFloor = floor;
    double acceptance = positive(Parameter(parameters, "WP_RADIUS"));
    if (std::isnan(acceptance))
        acceptance = positive(Parameter(parameters, "WPNAV_RADIUS")) / 100.0;
    if (std::isnan(acceptance))
        acceptance = positive(Parameter(parameters, "NAV_ACC_RAD"));
    if (std::isfinite(acceptance))
        plan->defaultAcceptance = acceptance;
    // The fence most aircraft fly with is no uploaded shape but a circle about home: a copter's
    // FENCE_RADIUS where FENCE_TYPE sets bit 1, PX4's GF_MAX_HOR_DIST.
    double radius = std::isfinite(type) && typeHas(1) ? positive(Parameter(parameters, "FENCE_RADIUS")) : NoValue;
    if (std::isnan(radius))
        radius = positive(Parameter(parameters, "GF_MAX_HOR_DIST"));
    if (std::isfinite(radius) && std::isfinite(plan->homeLatitude) && std::isfinite(plan->homeLongitude) && plan->fences.size() < MostFenceShapes)
    {
        FenceShape circle;
        circle.circle = true;
        circle.centre = PlanPoint{plan->homeLatitude, plan->homeLongitude};
        circle.radius = radius;
        plan->fences.push_back(circle);
    }
}

void PlanFromLog::Home(const HomeReport& report)
{
    if (!std::isfinite(report.latitude) || !std::isfinite(report.longitude) || std::fabs(report.latitude) > 90.0 || std::fabs(report.longitude) > 180.0 ||
        (report.latitude == 0.0 && report.longitude == 0.0))
        return;
    if ((!homes.empty() && SamePlace(homes.back(), report)) || homes.size() >= MostHomeReports)
        return;
    homes.push_back(report);
}

void PlanFromLog::Progress(FlightPlan* plan, double time, MissionProgress::Kind kind, int32_t seq)
{
    if (plan->progress.size() >= MostProgressRecords)
    {
        ++progressOverflow;
        return;
    }
    MissionProgress record;
    record.time = time;
    record.kind = kind;
    record.seq = seq;
    plan->progress.push_back(record);
}

void PlanFromLog::Finish(const std::vector<FlightEvent>& events, FlightPlan* plan) const
{
    AddMissionVersions(mission, plan);
    const std::vector<MissionVersion> fences = fence.Versions();
    if (!fences.empty())
        SetFenceShapes(fences.back().items, plan);
    const std::vector<MissionVersion> points = rally.Versions();
    if (!points.empty())
        SetRallyPoints(points.back().items, plan);
    for (const MissionVersions* layer : {&fence, &rally})
        for (const std::string& note : layer->Notes())
            AddPlanNote(plan, note);
    std::vector<HomeReport> reports = homes;
    reports.insert(reports.end(), mission.HomeReports().begin(), mission.HomeReports().end());
    SetHomeAtTakeoff(std::move(reports), FirstArmingTime(events), plan);
    ApplyPlanParameters(parameters, plan); // after home: the circular fence stands about it
    // Item 0 of a home-first mission is home, wherever the autopilot has it at the time the
    // items are sent: the home the flight's heights count from is the one at take-off.
    if (std::isfinite(plan->homeLatitude) && std::isfinite(plan->homeLongitude) && std::isfinite(plan->homeAltitude))
        for (MissionVersion& version : plan->missions)
            if (version.homeFirst && !version.items.empty() && version.items.front().seq == 0)
            {
                PlanItem& home = version.items.front();
                home.latitude = plan->homeLatitude;
                home.longitude = plan->homeLongitude;
                home.altitude = plan->homeAltitude;
                home.frame = 0;
            }
    std::stable_sort(plan->progress.begin(), plan->progress.end(), [](const MissionProgress& a, const MissionProgress& b) { return a.time < b.time; });
    if (progressOverflow > 0)
        AddPlanNote(plan, "progress: more than " + std::to_string(MostProgressRecords) + " records; " + std::to_string(progressOverflow) + " left out");
}

double FirstArmingTime(const std::vector<FlightEvent>& events)
{
    for (const FlightEvent& event : events)
        if (event.kind == FlightEventKind::Arming)
            return event.time;
    return NoValue;
}
