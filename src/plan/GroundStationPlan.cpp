// A ground station's JSON plan: {"fileType": "Plan", "mission": {"items": [...],
// "plannedHomePosition": [lat, lon, alt]}, "geoFence": {"polygons": [...], "circles": [...]},
// "rallyPoints": {"points": [[lat, lon, alt], ...]}}. What only a log knows (when a version was
// uploaded, what the autopilot reached, the fence's ceiling) goes in an object of its own,
// "flightLog", which other readers pass over.
#include "plan/PlanFiles.h"

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

namespace
{

// A number of the JSON, or NaN for anything else (null included: a ground station writes
// null for a parameter it leaves unset).
double Number(const Json& value)
{
    return value.is_number() ? value.get<double>() : NoValue;
}

int32_t Whole(const Json& value, int32_t otherwise)
{
    if (!value.is_number())
        return otherwise;
    const double number = value.get<double>();
    return number >= -2147483648.0 && number <= 2147483647.0 ? static_cast<int32_t>(number) : otherwise;
}

const Json& Member(const Json& object, const char* name)
{
    static const Json none;
    if (!object.is_object())
        return none;
    const auto found = object.find(name);
    return found == object.end() ? none : *found;
}

bool ValidPlace(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0;
}

// [lat, lon] or [lat, lon, alt].
bool ReadPoint(const Json& value, PlanPoint* point, double* altitude = nullptr)
{
    if (!value.is_array() || value.size() < 2)
        return false;
    point->latitude = Number(value[0]);
    point->longitude = Number(value[1]);
    if (altitude)
        *altitude = value.size() > 2 ? Number(value[2]) : NoValue;
    return ValidPlace(point->latitude, point->longitude);
}

void ReadMission(const Json& mission, FlightPlan* plan, std::vector<std::string>* notes)
{
    const Json& items = Member(mission, "items");
    if (!items.is_array())
        return;
    MissionVersion version;
    version.source = "plan file";
    PlanPoint home;
    double homeAltitude = NoValue;
    if (ReadPoint(Member(mission, "plannedHomePosition"), &home, &homeAltitude))
    {
        plan->homeLatitude = home.latitude;
        plan->homeLongitude = home.longitude;
        plan->homeAltitude = homeAltitude;
    }
    size_t complex = 0, unreadable = 0;
    for (const Json& entry : items)
    {
        if (version.items.size() >= MostPlanItems)
        {
            notes->push_back("mission: more than " + std::to_string(MostPlanItems) + " items; the rest left out");
            break;
        }
        if (Member(entry, "type") != "SimpleItem")
        {
            // Surveys and corridor scans are drawn by the station as the items it uploads;
            // the file keeps only their outline.
            ++complex;
            continue;
        }
        const Json& params = Member(entry, "params");
        PlanItem item;
        item.command = Whole(Member(entry, "command"), -1);
        item.frame = Whole(Member(entry, "frame"), -1);
        if (item.command < 0 || item.frame < 0 || !params.is_array() || params.size() != 7)
        {
            ++unreadable;
            continue;
        }
        for (int i = 0; i < 4; ++i)
            item.param[i] = Number(params[i]);
        item.latitude = Number(params[4]);
        item.longitude = Number(params[5]);
        item.altitude = Number(params[6]);
        if (!ValidPlace(item.latitude, item.longitude))
            item.latitude = item.longitude = NoValue;
        const Json& autocontinue = Member(entry, "autoContinue");
        item.autocontinue = !autocontinue.is_boolean() || autocontinue.get<bool>();
        item.seq = static_cast<int32_t>(version.items.size()) + 1; // home is 0 on the vehicle
        version.items.push_back(item);
    }
    if (complex)
        notes->push_back("mission: " + std::to_string(complex) + " complex item" + (complex == 1 ? "" : "s") + " (surveys, scans) left out: upload the mission and convert the log to see their waypoints");
    if (unreadable)
        notes->push_back("mission: " + std::to_string(unreadable) + " item" + (unreadable == 1 ? "" : "s") + " without a command, frame or seven parameters left out");
    const Json& extra = Member(Member(mission, "flightLog"), "uploaded");
    version.uploaded = Number(extra);
    plan->missions.clear();
    plan->progress.clear();
    if (!version.items.empty())
        plan->missions.push_back(std::move(version));
}

void ReadFence(const Json& fence, FlightPlan* plan, std::vector<std::string>* notes)
{
    const Json& polygons = Member(fence, "polygons");
    const Json& circles = Member(fence, "circles");
    if (!polygons.is_array() && !circles.is_array())
        return;
    plan->fences.clear();
    size_t refused = 0;
    if (polygons.is_array())
        for (const Json& entry : polygons)
        {
            FenceShape shape;
            const Json& inclusion = Member(entry, "inclusion");
            shape.inclusion = !inclusion.is_boolean() || inclusion.get<bool>();
            const Json& points = Member(entry, "polygon");
            bool good = points.is_array() && points.size() >= 3 && points.size() <= MostShapeVertices;
            for (size_t i = 0; good && i < points.size(); ++i)
            {
                PlanPoint point;
                good = ReadPoint(points[i], &point);
                shape.vertices.push_back(point);
            }
            if (good && plan->fences.size() < MostFenceShapes)
                plan->fences.push_back(std::move(shape));
            else
                ++refused;
        }
    if (circles.is_array())
        for (const Json& entry : circles)
        {
            FenceShape shape;
            shape.circle = true;
            const Json& inclusion = Member(entry, "inclusion");
            shape.inclusion = !inclusion.is_boolean() || inclusion.get<bool>();
            const Json& circle = Member(entry, "circle");
            shape.radius = Number(Member(circle, "radius"));
            if (ReadPoint(Member(circle, "center"), &shape.centre) && shape.radius > 0.0 && plan->fences.size() < MostFenceShapes)
                plan->fences.push_back(std::move(shape));
            else
                ++refused;
        }
    if (refused)
        notes->push_back("fence: " + std::to_string(refused) + " shape" + (refused == 1 ? "" : "s") + " without three valid vertices or a centre and radius left out");
    plan->fenceCeiling = Number(Member(Member(fence, "flightLog"), "ceiling"));
}

void ReadRally(const Json& rally, FlightPlan* plan, std::vector<std::string>* notes)
{
    const Json& points = Member(rally, "points");
    if (!points.is_array())
        return;
    plan->rally.clear();
    size_t refused = 0;
    for (const Json& entry : points)
    {
        PlanPoint place;
        RallyPoint point;
        if (ReadPoint(entry, &place, &point.altitude) && plan->rally.size() < MostRallyPoints)
        {
            point.latitude = place.latitude;
            point.longitude = place.longitude;
            plan->rally.push_back(point);
        }
        else
            ++refused;
    }
    if (refused)
        notes->push_back("rally: " + std::to_string(refused) + " point" + (refused == 1 ? "" : "s") + " without a valid position left out");
}

Json PointJson(double latitude, double longitude)
{
    return Json::array({latitude, longitude});
}

Json NumberOrNull(double value)
{
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

} // namespace

bool ReadGroundStationPlan(const std::string& text, FlightPlan* plan, std::string* error)
{
    const Json document = Json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object())
    {
        *error = "not a JSON plan: the file is not a JSON object";
        return false;
    }
    if (Member(document, "fileType") != "Plan")
    {
        *error = "not a JSON plan: no \"fileType\": \"Plan\"";
        return false;
    }
    FlightPlan read = *plan;
    std::vector<std::string> notes;
    ReadMission(Member(document, "mission"), &read, &notes);
    ReadFence(Member(document, "geoFence"), &read, &notes);
    ReadRally(Member(document, "rallyPoints"), &read, &notes);
    if (read.missions.empty() && read.fences.empty() && read.rally.empty())
    {
        *error = "the plan holds no mission item, fence or rally point it can read";
        if (!notes.empty())
            *error += " (" + notes.front() + ")";
        return false;
    }
    read.notes.insert(read.notes.end(), notes.begin(), notes.end());
    *plan = std::move(read);
    return true;
}

std::string GroundStationPlanText(const FlightPlan& plan, size_t version)
{
    Json mission = {{"version", 2}, {"firmwareType", 0}, {"vehicleType", 0}, {"cruiseSpeed", 15}, {"hoverSpeed", 5}};
    Json items = Json::array();
    double homeLatitude = plan.homeLatitude, homeLongitude = plan.homeLongitude, homeAltitude = plan.homeAltitude;
    if (version < plan.missions.size())
    {
        const MissionVersion& chosen = plan.missions[version];
        for (const PlanItem& item : chosen.items)
        {
            if (chosen.homeFirst && item.seq == 0)
            {
                if (item.HasPosition())
                {
                    homeLatitude = item.latitude;
                    homeLongitude = item.longitude;
                    homeAltitude = item.altitude;
                }
                continue;
            }
            Json params = Json::array();
            for (double value : item.param)
                params.push_back(NumberOrNull(value));
            params.push_back(item.HasPosition() ? Json(item.latitude) : Json(0));
            params.push_back(item.HasPosition() ? Json(item.longitude) : Json(0));
            params.push_back(std::isfinite(item.altitude) ? Json(item.altitude) : Json(0));
            items.push_back({{"type", "SimpleItem"}, {"autoContinue", item.autocontinue}, {"command", item.command}, {"doJumpId", item.seq}, {"frame", item.frame}, {"params", params}});
        }
        Json log = {{"source", chosen.source}, {"version", version + 1}, {"versions", plan.missions.size()}};
        if (std::isfinite(chosen.uploaded))
            log["uploaded"] = std::round(chosen.uploaded * 1000.0) / 1000.0; // the log's clock keeps milliseconds
        if (chosen.announced > 0)
            log["announced"] = chosen.announced;
        mission["flightLog"] = log;
    }
    mission["items"] = items;
    mission["plannedHomePosition"] = Json::array({std::isfinite(homeLatitude) ? homeLatitude : 0.0, std::isfinite(homeLongitude) ? homeLongitude : 0.0, std::isfinite(homeAltitude) ? homeAltitude : 0.0});

    Json polygons = Json::array(), circles = Json::array();
    for (const FenceShape& shape : plan.fences)
    {
        if (shape.circle)
        {
            circles.push_back({{"circle", {{"center", PointJson(shape.centre.latitude, shape.centre.longitude)}, {"radius", shape.radius}}}, {"inclusion", shape.inclusion}, {"version", 1}});
            continue;
        }
        Json vertices = Json::array();
        for (const PlanPoint& vertex : shape.vertices)
            vertices.push_back(PointJson(vertex.latitude, vertex.longitude));
        polygons.push_back({{"inclusion", shape.inclusion}, {"polygon", vertices}, {"version", 1}});
    }
    Json fence = {{"version", 2}, {"polygons", polygons}, {"circles", circles}};
    if (std::isfinite(plan.fenceCeiling))
        fence["flightLog"] = {{"ceiling", plan.fenceCeiling}};

    Json points = Json::array();
    for (const RallyPoint& point : plan.rally)
        points.push_back(Json::array({point.latitude, point.longitude, std::isfinite(point.altitude) ? point.altitude : 0.0}));

    const Json document = {{"fileType", "Plan"}, {"version", 1}, {"groundStation", "flightreplay"}, {"mission", mission}, {"geoFence", fence}, {"rallyPoints", {{"version", 2}, {"points", points}}}};
    return document.dump(4) + "\n";
}
