#include "ConversionSummary.h"

#include <cmath>
#include <cstdio>

#include "PositionCleaning.h"

namespace
{

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

// "2010-08-05" of a day's midnight in seconds since 1970 (Howard Hinnant's civil-from-days).
std::string CivilDate(double midnight)
{
    long long days = static_cast<long long>(std::floor(midnight / 86400.0)) + 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2);
    char text[80];
    snprintf(text, sizeof text, "%04lld-%02lld-%02lld", year, month, day);
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
