#include "track/ConversionSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <map>

#include "track/PositionCleaning.h"
#include "track/TrackReading.h"

namespace
{

const size_t NamesListed = 8; // streams named in a one-line message

std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printed(const char* format, ...)
{
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    return line;
}

// "name: 622 records, 20.0 a second, 0.434 .. 31.434 s"
std::string DescribeStream(const RecordedStream& stream)
{
    const double span = stream.lastTime - stream.firstTime;
    std::string text = Printed("%s: %zu records", stream.name.c_str(), stream.count);
    if (stream.count > 1 && span > 0.0)
        text += Printed(", %.1f a second, %.3f .. %.3f s", (stream.count - 1) / span, stream.firstTime, stream.lastTime);
    return text;
}

const RecordedStream* FindStream(const RecordedFlight& flight, const std::string& name)
{
    for (const RecordedStream& stream : flight.streams)
        if (stream.name == name)
            return &stream;
    return nullptr;
}


std::string Count(size_t count, const char* what)
{
    return std::to_string(count) + " " + what;
}

// "2 h 0 min 5 s", "4 min 10 s", "12.5 s".
std::string Duration(double seconds)
{
    char text[64];
    const long long whole = static_cast<long long>(std::llround(seconds));
    if (whole >= 3600)
        snprintf(text, sizeof text, "%lld h %lld min %lld s", whole / 3600, whole / 60 % 60, whole % 60);
    else if (whole >= 60)
        snprintf(text, sizeof text, "%lld min %lld s", whole / 60, whole % 60);
    else
        snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// "2010-08-05" of a day's midnight in seconds since 1970.
std::string CivilDate(double midnight)
{
    int64_t year = 0, month = 0, day = 0;
    CivilFromDays(static_cast<int64_t>(std::floor(midnight / 86400.0)), &year, &month, &day);
    char text[80];
    snprintf(text, sizeof text, "%04lld-%02lld-%02lld", static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day));
    return text;
}

} // namespace

std::string PointsReadAndSkipped(const RecordedFlight& flight, const PositionCounts& counts)
{
    size_t read = counts.handedIn;
    std::string reasons;
    const auto add = [&reasons](size_t count, const std::string& why)
    {
        if (count > 0)
            reasons += (reasons.empty() ? "" : ", ") + Count(count, why.c_str());
    };
    for (const auto& skipped : flight.skippedPoints)
    {
        read += skipped.second;
        add(skipped.second, skipped.first);
    }
    add(counts.withoutPosition, "without a valid time or position");
    char why[96];
    snprintf(why, sizeof why, "far in time from the rest (more than %g h from the flight)", OutlierTimeSeparation / 3600.0);
    add(counts.timeOutliers, why);
    add(counts.repeatedTimes, "repeating the time of an earlier point");
    snprintf(why, sizeof why, "reached faster than %.0f m/s", MaximumGroundSpeed);
    add(counts.speedOutliers, why);
    std::string text = Count(read, "points read") + ", " + std::to_string(counts.used) + " used";
    const size_t skipped = read - counts.used;
    if (skipped > 0)
        text += ", " + std::to_string(skipped) + " skipped (" + reasons + ")";
    return text;
}

std::string ConversionSummary(const std::string& path, const RecordedFlight& flight, const ConvertedFlight& converted, const ConversionSettings& settings)
{
    const PositionCounts& counts = converted.positions;
    std::string text = "track: '" + path + "': " + PointsReadAndSkipped(flight, counts);
    if (counts.noAltitude)
        text += "; no point has an altitude: 0 m throughout";
    else if (counts.altitudesFilled > 0)
        text += "; " + Count(counts.altitudesFilled, counts.altitudesFilled == 1 ? "altitude missing, interpolated" : "altitudes missing, interpolated");
    if (converted.rows.empty())
        return text;
    const double first = converted.rows.front().gps_time, last = converted.rows.back().gps_time;
    char line[256];
    snprintf(line, sizeof line, "; span %.3f .. %.3f s (%s", first, last, Duration(last - first).c_str());
    text += line;
    if (flight.timesSinceEpoch)
        text += ", seconds from midnight of " + CivilDate(converted.clockOrigin) + " UTC";
    snprintf(line, sizeof line, "); %zu rows at %g a second", converted.rows.size(), settings.rate);
    text += line;
    if (converted.gaps > 0)
    {
        snprintf(line, sizeof line, "; no rows in %zu gap%s of more than %g s (%zu left out)", converted.gaps, converted.gaps == 1 ? "" : "s", settings.maximumGap, converted.gapRows);
        text += line;
    }
    return text;
}

std::string ListStreams(const RecordedFlight& flight)
{
    std::vector<const RecordedStream*> held;
    for (const RecordedStream& stream : flight.streams)
        if (stream.count > 0)
            held.push_back(&stream);
    if (held.empty())
        return "no records";
    std::stable_sort(held.begin(), held.end(), [](const RecordedStream* a, const RecordedStream* b) { return a->count > b->count; });
    std::string text;
    for (size_t i = 0; i < held.size() && i < NamesListed; ++i)
        text += (i > 0 ? ", " : "") + held[i]->name + " (" + std::to_string(held[i]->count) + ")";
    if (held.size() > NamesListed)
        text += " and " + std::to_string(held.size() - NamesListed) + " more";
    return text;
}

std::string PlanSummary(const FlightPlan& plan, int version)
{
    std::vector<std::string> parts;
    if (!plan.missions.empty())
    {
        const size_t chosen = version >= 0 && static_cast<size_t>(version) < plan.missions.size() ? static_cast<size_t>(version) : 0;
        const MissionVersion& mission = plan.missions[chosen];
        std::string text = "mission of " + Count(mission.items.size(), mission.items.size() == 1 ? "item" : "items");
        if (mission.announced > 0 && static_cast<size_t>(mission.announced) != mission.items.size())
            text += " (" + std::to_string(mission.announced) + " announced)";
        text += ", " + Count(plan.missions.size(), plan.missions.size() == 1 ? "version" : "versions");
        parts.push_back(text);
    }
    std::string fence;
    if (!plan.fences.empty())
        fence = "fence of " + Count(plan.fences.size(), plan.fences.size() == 1 ? "shape" : "shapes");
    if (std::isfinite(plan.fenceCeiling))
        fence += Printed("%sceiling %g m", fence.empty() ? "fence " : ", ", plan.fenceCeiling);
    if (!fence.empty())
        parts.push_back(fence);
    if (!plan.rally.empty())
        parts.push_back(Count(plan.rally.size(), plan.rally.size() == 1 ? "rally point" : "rally points"));
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "; ") + part;
    return text;
}

std::string PlanNotes(const std::string& path, const FlightPlan& plan)
{
    std::string text;
    for (const std::string& note : plan.notes)
        text += "track: '" + path + "': " + note + "\n";
    return text;
}

std::string DescribeFlight(const std::string& path, const RecordedFlight& flight, size_t fileBytes)
{
    std::string text = Printed("track: '%s': %s, %zu bytes; times are %s\n", path.c_str(), flight.format.c_str(), fileBytes, flight.clock.c_str());
    const RecordedStream* position = FindStream(flight, flight.positionSource);
    if (position && !flight.positions.empty())
        text += Printed("track: position from %s\n", DescribeStream(*position).c_str());
    else
        text += Printed("track: no position (it is taken from %s)\n", flight.positionWanted.c_str());
    const RecordedStream* attitude = FindStream(flight, flight.attitudeSource);
    if (attitude && !flight.attitudes.empty())
        text += Printed("track: attitude from %s\n", DescribeStream(*attitude).c_str());
    else
        text += "track: no attitude recorded: heading, pitch and roll come from the motion\n";
    if (const RecordedStream* gimbal = flight.gimbal.empty() ? nullptr : FindStream(flight, flight.gimbalSource))
        text += Printed("track: camera from %s\n", DescribeStream(*gimbal).c_str());
    std::string others;
    RecordedFlight unused;
    double first = INFINITY, last = -INFINITY;
    for (const RecordedStream& stream : flight.streams)
    {
        if (stream.used && stream.count > 0)
        {
            first = std::min(first, stream.firstTime);
            last = std::max(last, stream.lastTime);
        }
        if (stream.used && stream.name != flight.positionSource && stream.name != flight.attitudeSource && stream.name != flight.gimbalSource)
            others += (others.empty() ? "" : "; ") + DescribeStream(stream);
        else if (!stream.used && stream.count > 0)
            unused.streams.push_back(stream);
    }
    if (!others.empty())
        text += "track: other columns from " + others + "\n";
    if (!unused.streams.empty())
        text += Printed("track: not used: %s\n", ListStreams(unused).c_str());
    if (first <= last)
        text += Printed("track: what is used spans %.3f .. %.3f s: %.1f s\n", first, last, last - first);
    const std::string plan = PlanSummary(flight.plan);
    if (!plan.empty() || !flight.plan.progress.empty())
    {
        std::string sources;
        for (const MissionVersion& version : flight.plan.missions)
            if (sources.find(version.source) == std::string::npos)
                sources += (sources.empty() ? "" : ", ") + version.source;
        text += "track: plan: " + (plan.empty() ? std::string("no mission") : plan) + (sources.empty() ? "" : " (from " + sources + ")") + "; " +
                Count(flight.plan.progress.size(), flight.plan.progress.size() == 1 ? "progress record" : "progress records") + "\n";
    }
    std::string dropped;
    for (const auto& entry : flight.dropped)
        dropped += Printed(", %zu %s", entry.second, entry.first.c_str());
    text += Printed("track: skipped %zu bytes and %zu records%s\n", flight.skippedBytes, flight.skippedRecords, dropped.c_str());
    return text;
}

std::string CountedBySource(const std::vector<std::string>& sources, const char* one, const char* many)
{
    if (sources.empty())
        return std::string();
    std::map<std::string, size_t> counts;
    for (const std::string& source : sources)
        ++counts[source];
    std::string text = std::to_string(sources.size()) + " " + (sources.size() == 1 ? one : many) + " (";
    bool first = true;
    for (const auto& count : counts)
    {
        text += (first ? "" : ", ") + count.first + (counts.size() > 1 ? " " + std::to_string(count.second) : std::string());
        first = false;
    }
    return text + ")";
}
