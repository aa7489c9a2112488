// A glider task file (JSON). Version 1: {"taskType": "CLASSIC", "version": 1, "turnpoints":
// [{"type": "TAKEOFF" | "SSS" | "ESS" (absent: a turnpoint), "radius": metres, "waypoint":
// {"name", "lat", "lon", "altSmoothed"}}, ...], "sss": {...}, "goal": {"type": "CYLINDER" |
// "LINE", ...}}; the last turnpoint is the goal. Version 2 is the compact form shared as a QR
// code: {"version": 2, "t": [{"z": polyline of lon, lat, alt, radius, "n": name, "t": 2 SSS |
// 3 ESS}], "g": {"t": 1 line | 2 cylinder}}.
#include "plan/PlanFiles.h"

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

namespace
{

// Competition cylinders reach a few tens of kilometres; a larger one is a broken file.
const double LargestRadius = 1000e3;
// Names are labels on the map.
const size_t LongestName = 100;

const Json& Member(const Json& object, const char* name)
{
    static const Json none;
    if (!object.is_object())
        return none;
    const auto found = object.find(name);
    return found == object.end() ? none : *found;
}

double Number(const Json& value)
{
    return value.is_number() ? value.get<double>() : NoValue;
}

// At most LongestName bytes, cut before a UTF-8 continuation byte so as not to split a character.
std::string Name(const Json& value)
{
    if (!value.is_string())
        return std::string();
    std::string name = value.get<std::string>();
    if (name.size() > LongestName)
    {
        size_t cut = LongestName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}

bool Usable(const Turnpoint& point)
{
    return std::isfinite(point.latitude) && std::isfinite(point.longitude) && std::fabs(point.latitude) <= 90.0 && std::fabs(point.longitude) <= 180.0 &&
           point.radius > 0.0 && point.radius <= LargestRadius;
}

// The integers of a polyline-encoded string: five bits a character from '?', the sixth
// bit set on all but a number's last, the sign in the lowest bit. False on a character
// outside the alphabet, a number longer than 32 bits take, or an unfinished last number.
bool DecodePolyline(const std::string& text, std::vector<int64_t>* numbers)
{
    uint64_t current = 0;
    int shift = 0;
    for (char c : text)
    {
        const int chunk = static_cast<unsigned char>(c) - 63;
        if (chunk < 0 || chunk > 63 || shift >= 35)
            return false;
        current |= static_cast<uint64_t>(chunk & 0x1F) << shift;
        shift += 5;
        if (chunk < 0x20)
        {
            const int64_t half = static_cast<int64_t>(current >> 1);
            numbers->push_back(current & 1 ? ~half : half);
            current = 0;
            shift = 0;
        }
    }
    return shift == 0;
}

// The version 1 turnpoint; false when it has no usable position or radius.
bool ReadTurnpoint(const Json& entry, Turnpoint* point)
{
    const Json& waypoint = Member(entry, "waypoint");
    point->name = Name(Member(waypoint, "name"));
    point->latitude = Number(Member(waypoint, "lat"));
    point->longitude = Number(Member(waypoint, "lon"));
    point->altitude = Number(Member(waypoint, "altSmoothed"));
    point->radius = Number(Member(entry, "radius"));
    const Json& type = Member(entry, "type");
    point->role = type == "TAKEOFF" ? TurnpointRole::Takeoff : type == "SSS" ? TurnpointRole::Start : type == "ESS" ? TurnpointRole::EndOfSpeedSection : TurnpointRole::Turn;
    return Usable(*point);
}

// The version 2 turnpoint: "z" holds longitude and latitude in 1e-5 degrees, the altitude
// and the radius in metres.
bool ReadCompactTurnpoint(const Json& entry, Turnpoint* point)
{
    const Json& z = Member(entry, "z");
    std::vector<int64_t> numbers;
    if (!z.is_string() || !DecodePolyline(z.get<std::string>(), &numbers) || numbers.size() != 4)
        return false;
    point->longitude = static_cast<double>(numbers[0]) * 1e-5;
    point->latitude = static_cast<double>(numbers[1]) * 1e-5;
    point->altitude = static_cast<double>(numbers[2]);
    point->radius = static_cast<double>(numbers[3]);
    point->name = Name(Member(entry, "n"));
    const Json& type = Member(entry, "t");
    point->role = type == 2 ? TurnpointRole::Start : type == 3 ? TurnpointRole::EndOfSpeedSection : TurnpointRole::Turn;
    return Usable(*point);
}

} // namespace

bool ReadGliderTask(const std::string& text, FlightPlan* plan, std::string* error)
{
    const Json document = Json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object())
    {
        *error = "not a glider task: the file is not a JSON object";
        return false;
    }
    const Json& taskType = Member(document, "taskType");
    if (!taskType.is_null() && taskType != "CLASSIC")
    {
        *error = "not a race task: only \"taskType\": \"CLASSIC\" is read" + (taskType.is_string() ? " (this file's is " + taskType.dump(-1, ' ', true).substr(0, 40) + ")" : std::string());
        return false;
    }
    const Json& version = Member(document, "version");
    const bool compact = version == 2;
    if (!version.is_null() && version != 1 && !compact)
    {
        *error = "glider task version " + (version.is_primitive() ? version.dump(-1, ' ', true).substr(0, 20) + " " : std::string()) + "is not one this program reads (1, or 2 the compact form)";
        return false;
    }
    const Json& points = Member(document, compact ? "t" : "turnpoints");
    if (!points.is_array())
    {
        *error = compact ? "not a glider task: no \"t\" list of turnpoints" : "not a glider task: no \"turnpoints\" list";
        return false;
    }

    std::vector<Turnpoint> task;
    std::vector<std::string> notes;
    size_t refused = 0;
    bool lastRead = false;
    for (const Json& entry : points)
    {
        if (task.size() >= MostTurnpoints)
        {
            notes.push_back("task: more than " + std::to_string(MostTurnpoints) + " turnpoints; the rest left out");
            lastRead = false;
            break;
        }
        Turnpoint point;
        lastRead = compact ? ReadCompactTurnpoint(entry, &point) : ReadTurnpoint(entry, &point);
        if (lastRead)
            task.push_back(std::move(point));
        else
            ++refused;
    }
    // The file's last turnpoint is the goal, which ends the speed section where the file
    // marks the goal itself as the ESS. When it was left out, no other point is promoted.
    const Json& goal = Member(document, compact ? "g" : "goal");
    const Json& goalType = Member(goal, compact ? "t" : "type");
    if (lastRead && task.back().role != TurnpointRole::Takeoff)
    {
        task.back().role = TurnpointRole::Goal;
        task.back().line = compact ? goalType == 1 : goalType == "LINE";
    }
    else if (!task.empty())
        notes.push_back("task: the goal cannot be read; the task is drawn without one");
    const Json& gates = Member(Member(document, compact ? "s" : "sss"), compact ? "g" : "timeGates");
    if ((gates.is_array() && !gates.empty()) || Member(goal, compact ? "d" : "deadline").is_string())
        notes.push_back("task: the start's time gates and the goal's deadline are not kept");
    if (refused)
        notes.push_back("task: " + std::to_string(refused) + " turnpoint" + (refused == 1 ? "" : "s") + " without a valid position or radius left out");
    if (task.empty())
    {
        *error = "the task holds no turnpoint it can read";
        return false;
    }
    plan->task = std::move(task);
    plan->notes.insert(plan->notes.end(), notes.begin(), notes.end());
    return true;
}
