#include "plan/PlanFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "batch/AtomicFile.h"

namespace
{

// A plan, task or airspace file is text a person could read; a country's airspace is a few MB.
const long LargestPlanFile = 64L << 20;

bool ReadPlanText(const std::string& path, std::string* text, std::string* error)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
    {
        *error = "cannot open '" + path + "': " + strerror(errno);
        return false;
    }
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode))
    {
        fclose(file);
        *error = "'" + path + "' is not a file";
        return false;
    }
    if (status.st_size > LargestPlanFile)
    {
        fclose(file);
        *error = "'" + path + "' is larger than 64 MB, more than any plan or airspace file";
        return false;
    }
    text->resize(static_cast<size_t>(status.st_size));
    const size_t got = text->empty() ? 0 : fread(&(*text)[0], 1, text->size(), file);
    fclose(file);
    text->resize(got);
    return true;
}

bool EndsWith(const std::string& text, const char* tail)
{
    const size_t length = strlen(tail);
    if (text.size() < length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (tolower(static_cast<unsigned char>(text[text.size() - length + i])) != tail[i])
            return false;
    return true;
}

// "dir/NAME" of "dir/NAME.log".
std::string Stem(const std::string& logPath)
{
    const size_t slash = logPath.find_last_of('/');
    const size_t dot = logPath.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? logPath.substr(0, dot) : logPath;
}

} // namespace

std::string PlanPathFor(const std::string& logPath, size_t version)
{
    return Stem(logPath) + (version <= 1 ? std::string() : ".v" + std::to_string(version)) + ".plan";
}

std::vector<size_t> PlanFileOrder(const FlightPlan& plan, double takeoff)
{
    std::vector<size_t> order;
    if (plan.missions.empty())
        return order;
    const size_t first = std::isfinite(takeoff) ? static_cast<size_t>(plan.VersionAt(takeoff)) : 0;
    order.push_back(first);
    for (size_t i = 0; i < plan.missions.size(); ++i)
        if (i != first)
            order.push_back(i);
    return order;
}

// Whether a file at `path` is one this program wrote beside a log (or there is none): a
// pilot's own plan of the same name is never written over or removed.
static bool OursOrAbsent(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return true;
    std::string text, error;
    return ReadPlanText(path, &text, &error) && text.find(WrittenByMark) != std::string::npos;
}

bool WritePlanFilesBeside(const std::string& logPath, const FlightPlan& plan, double takeoff, std::vector<std::string>* written, std::string* error)
{
    written->clear();
    for (size_t version = 1; version <= std::max<size_t>(plan.missions.size(), 1); ++version)
        if (!OursOrAbsent(PlanPathFor(logPath, version)))
        {
            *error = "'" + PlanPathFor(logPath, version) + "' is a plan this program did not write; it is left as it is (give the log another name)";
            return false;
        }
    std::vector<size_t> order = PlanFileOrder(plan, takeoff);
    if (order.empty() && (!plan.fences.empty() || !plan.rally.empty()))
        order.push_back(plan.missions.size()); // no mission: the fence and rally points alone
    for (size_t file = 0; file < order.size(); ++file)
    {
        const std::string path = PlanPathFor(logPath, file + 1);
        const std::string text = GroundStationPlanText(plan, order[file]);
        if (!WriteFileAtomically(path, text.data(), text.size()))
        {
            *error = "cannot write '" + path + "': " + strerror(errno);
            return false;
        }
        written->push_back(path);
    }
    // Versions left from another flight of this name must not pass for this one's.
    for (size_t version = order.size() + 1;; ++version)
    {
        const std::string path = PlanPathFor(logPath, version);
        if (!OursOrAbsent(path) || unlink(path.c_str()) != 0)
            break;
    }
    return true;
}

bool ReadPlanFile(const std::string& path, FlightPlan* plan, std::string* error)
{
    enum { GroundStationPlan, WaypointList, GliderTask } kind;
    if (EndsWith(path, ".plan"))
        kind = GroundStationPlan;
    else if (EndsWith(path, ".xctsk"))
        kind = GliderTask;
    else if (EndsWith(path, ".waypoints") || EndsWith(path, ".mission") || EndsWith(path, ".txt"))
        kind = WaypointList;
    else
    {
        *error = "'" + path + "': not a plan file this program reads (.plan, .waypoints, .mission or .txt waypoint lists, .xctsk)";
        return false;
    }
    std::string text;
    if (!ReadPlanText(path, &text, error))
        return false;
    bool read = false;
    std::string why;
    switch (kind)
    {
    case GroundStationPlan:
        read = ReadGroundStationPlan(text, plan, &why);
        break;
    case GliderTask:
        read = ReadGliderTask(text, plan, &why);
        break;
    case WaypointList:
        // A .txt or .mission file is many things; only a waypoint list is read here.
        read = ReadWaypointList(text, plan, &why);
        break;
    }
    if (!read)
        *error = "'" + path + "': " + why;
    return read;
}

bool ReadAirspaceFile(const std::string& path, FlightPlan* plan, std::string* error)
{
    std::string text, why;
    if (!ReadPlanText(path, &text, error))
        return false;
    if (!ReadOpenAir(text, plan, &why))
    {
        *error = "'" + path + "': " + why;
        return false;
    }
    return true;
}

bool ReadPlanBeside(const std::string& logPath, FlightPlan* plan, std::string* error)
{
    const std::string path = PlanPathFor(logPath);
    if (path == logPath)
        return true;
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return true;
    return ReadPlanFile(path, plan, error);
}
