// A ground station's waypoint list: "QGC WPL 110" on the first line, then one item a line,
// its twelve fields separated by tabs (some writers use spaces): INDEX CURRENT_WP FRAME
// COMMAND PARAM1 PARAM2 PARAM3 PARAM4 LATITUDE LONGITUDE ALTITUDE AUTOCONTINUE. Item 0 is
// home, as the autopilot that writes these lists keeps it.
#include "plan/PlanFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace
{

const char* const Signature = "QGC WPL";
const size_t FieldsPerItem = 12;

// The line from `*start` to its end (LF, CR LF or CR), without it; `*start` moves past it.
std::string NextLine(const std::string& text, size_t* start)
{
    const size_t begin = *start;
    size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos)
        end = text.size();
    *start = end;
    if (*start < text.size() && text[*start] == '\r')
        ++*start;
    if (*start < text.size() && text[*start] == '\n')
        ++*start;
    return text.substr(begin, end - begin);
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    size_t at = 0;
    while (fields.size() <= FieldsPerItem) // one more than an item has is enough to refuse the line
    {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string::npos)
            break;
        const size_t end = std::min(line.find_first_of(" \t", at), line.size());
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

// The whole field as a finite number.
bool ParseNumber(const std::string& field, double* value)
{
    if (field.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    *value = strtod(field.c_str(), &end);
    return end == field.c_str() + field.size() && std::isfinite(*value) && errno != ERANGE;
}

// A whole number in int32's range; "16" and "16.0" alike.
bool ParseWhole(const std::string& field, int32_t* value)
{
    double number;
    if (!ParseNumber(field, &number) || number != std::floor(number) || number < -2147483648.0 || number > 2147483647.0)
        return false;
    *value = static_cast<int32_t>(number);
    return true;
}

// One item from its fields; the reason it cannot be read otherwise.
const char* ParseItem(const std::vector<std::string>& fields, PlanItem* item)
{
    if (fields.size() < FieldsPerItem)
        return "fewer than 12 fields";
    if (fields.size() > FieldsPerItem)
        return "more than 12 fields";
    int32_t current, autocontinue;
    if (!ParseWhole(fields[0], &item->seq) || !ParseWhole(fields[1], &current) || !ParseWhole(fields[2], &item->frame) || !ParseWhole(fields[3], &item->command) ||
        !ParseWhole(fields[11], &autocontinue))
        return "an index, frame, command or flag that is not a whole number";
    if (item->seq < 0 || item->frame < 0 || item->command < 0)
        return "a negative index, frame or command";
    for (int i = 0; i < 4; ++i)
        if (!ParseNumber(fields[4 + static_cast<size_t>(i)], &item->param[i]))
            return "a parameter that is not a number";
    if (!ParseNumber(fields[8], &item->latitude) || !ParseNumber(fields[9], &item->longitude) || !ParseNumber(fields[10], &item->altitude))
        return "a position that is not a number";
    if (std::fabs(item->latitude) > 90.0 || std::fabs(item->longitude) > 180.0)
        return "a latitude beyond 90 degrees or a longitude beyond 180";
    item->autocontinue = autocontinue != 0;
    return nullptr;
}

} // namespace

bool ReadWaypointList(const std::string& text, FlightPlan* plan, std::string* error)
{
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; // a byte-order mark
    std::string first = NextLine(text, &at);
    while (!first.empty() && (first.back() == ' ' || first.back() == '\t'))
        first.pop_back();
    if (first.compare(0, strlen(Signature), Signature) != 0)
    {
        *error = "not a waypoint list: the first line is not \"QGC WPL 110\"";
        return false;
    }
    std::vector<std::string> notes;
    const std::string version = first.substr(std::min(first.size(), first.find_first_not_of(" \t", strlen(Signature))));
    // Versions before 110 and after it that were seen write the same twelve columns; a line
    // that does not have them is refused below like any other.
    if (version != "110")
        notes.push_back("waypoint list: version \"" + version.substr(0, 20) + "\" read as version 110");

    MissionVersion mission;
    mission.source = "waypoint list";
    size_t lineNumber = 1, refused = 0, firstRefused = 0;
    std::string firstReason;
    while (at < text.size())
    {
        const std::string line = NextLine(text, &at);
        ++lineNumber;
        const std::vector<std::string> fields = Fields(line);
        if (fields.empty())
            continue;
        if (mission.items.size() >= MostPlanItems)
        {
            notes.push_back("waypoint list: more than " + std::to_string(MostPlanItems) + " items; the rest, from line " + std::to_string(lineNumber) + ", left out");
            break;
        }
        PlanItem item;
        const char* reason = ParseItem(fields, &item);
        if (!reason && !mission.items.empty() && item.seq <= mission.items.back().seq)
            reason = "an index not above the one before";
        if (reason)
        {
            if (refused++ == 0)
            {
                firstRefused = lineNumber;
                firstReason = reason;
            }
            continue;
        }
        mission.items.push_back(item);
    }
    if (refused)
        notes.push_back("waypoint list: " + std::to_string(refused) + " line" + (refused == 1 ? "" : "s") + " that cannot be read left out (the first, line " + std::to_string(firstRefused) + ", has " + firstReason + ")");
    if (mission.items.empty())
    {
        *error = "the waypoint list holds no item it can read";
        if (!notes.empty())
            *error += " (" + notes.back() + ")";
        return false;
    }

    const PlanItem& home = mission.items.front();
    mission.homeFirst = home.seq == 0;
    if (mission.homeFirst && home.HasPosition())
    {
        plan->homeLatitude = home.latitude;
        plan->homeLongitude = home.longitude;
        // Items above home count from home's altitude above sea level: only an AMSL frame gives it.
        plan->homeAltitude = HeightReferenceOfFrame(home.frame) == HeightReference::Amsl ? home.altitude : NoValue;
    }
    plan->missions.clear();
    plan->progress.clear(); // what the autopilot reached was of the mission replaced
    plan->missions.push_back(std::move(mission));
    plan->notes.insert(plan->notes.end(), notes.begin(), notes.end());
    return true;
}
