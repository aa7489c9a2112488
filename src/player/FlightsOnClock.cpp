#include "player/FlightsOnClock.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <limits>

#include "track/TrackReading.h"

bool ParseFlightAlignment(const std::string& word, FlightAlignment* alignment)
{
    if (word == "time")
        *alignment = FlightAlignment::Time;
    else if (word == "takeoff")
        *alignment = FlightAlignment::Takeoff;
    else if (word == "start")
        *alignment = FlightAlignment::Start;
    else
        return false;
    return true;
}

const char* AlignmentName(FlightAlignment alignment)
{
    switch (alignment)
    {
    case FlightAlignment::Time: return "by time of day";
    case FlightAlignment::Start: return "at the start";
    default: return "at take-off";
    }
}

namespace
{
// The flight's own seconds at each row: of UTC when every row logs a date, else gps_time.
std::vector<double> OwnSeconds(const FlightRows& flight, bool utc)
{
    std::vector<double> seconds(static_cast<size_t>(std::max<int32_t>(flight.count, 1)), 0.0);
    for (int32_t row = 0; row < flight.count; ++row)
        if (!utc || !RowUtcSeconds(flight[row], &seconds[row]))
            seconds[row] = flight[row].gps_time;
    return seconds;
}

bool LogsDates(const FlightRows& flight)
{
    double seconds = 0.0;
    return flight.count > 0 && RowUtcSeconds(flight[0], &seconds) && RowUtcSeconds(flight[flight.count - 1], &seconds);
}
} // namespace

int32_t TakeoffRow(const FlightRows& flight)
{
    double lowest = std::numeric_limits<double>::infinity();
    for (int32_t row = 0; row < flight.count; ++row)
    {
        const double altitude = flight[row].gps_curalt;
        if (!std::isfinite(altitude))
            continue;
        if (altitude > lowest + TakeoffClimb)
            return row;
        lowest = std::min(lowest, altitude);
    }
    return 0;
}

FlightsOnClock::FlightsOnClock(const std::vector<FlightRows>& flights, FlightAlignment asked)
{
    bool allDated = !flights.empty();
    for (size_t i = 0; i < flights.size(); ++i)
        if (!LogsDates(flights[i]))
        {
            allDated = false;
            undated = asked == FlightAlignment::Time ? std::min(undated, i) : undated;
        }
    used = asked;
    if (asked == FlightAlignment::Automatic || (asked == FlightAlignment::Time && !allDated))
        used = allDated ? FlightAlignment::Time : FlightAlignment::Takeoff;
    if (asked == FlightAlignment::Automatic && allDated)
    {
        double first = std::numeric_limits<double>::infinity(), last = -first;
        for (const FlightRows& flight : flights)
            for (const double t : OwnSeconds(flight, true))
                if (std::isfinite(t))
                {
                    first = std::min(first, t);
                    last = std::max(last, t);
                }
        if (last - first > LongestTimeOfDaySpan)
        {
            used = FlightAlignment::Takeoff;
            datedSpan = last - first;
        }
    }

    double earliest = std::numeric_limits<double>::infinity();
    step = std::numeric_limits<double>::infinity();
    for (const FlightRows& flight : flights)
    {
        std::vector<double> own = OwnSeconds(flight, allDated);
        // Time of day keeps each flight where it was; the others start every flight's clock
        // at its chosen row.
        const double zero = used == FlightAlignment::Time ? 0.0 : own[used == FlightAlignment::Takeoff ? TakeoffRow(flight) : 0];
        double latest = -std::numeric_limits<double>::infinity();
        for (double& t : own)
        {
            // A clock that stands still or goes back holds its last time, so the rows stay in
            // order on the common axis.
            t = std::isfinite(t) ? t - zero : latest;
            latest = std::max(latest, t);
            t = latest;
        }
        if (!std::isfinite(own.front()))
            std::fill(own.begin(), own.end(), 0.0);
        earliest = std::min(earliest, own.front());
        times.push_back(std::move(own));
        if (flight.step > 0.0 && std::isfinite(flight.step))
            step = std::min(step, flight.step);
    }
    if (!std::isfinite(step))
        step = 1.0;
    // Counted from the earliest row of all, so the clock starts at 0.
    origin = earliest;
    for (std::vector<double>& own : times)
        for (double& t : own)
        {
            t -= earliest;
            clockTimes.push_back(t);
        }
    std::sort(clockTimes.begin(), clockTimes.end());
    clockTimes.erase(std::unique(clockTimes.begin(), clockTimes.end()), clockTimes.end());
    if (clockTimes.empty())
        clockTimes.push_back(0.0);
}

std::string FlightsOnClock::Note(const std::vector<std::string>& names) const
{
    char line[512];
    if (undated < times.size())
    {
        snprintf(line, sizeof line, "--align time: flight %zu (%s) logs no date, so the flights are lined up at take-off", undated + 1,
                 undated < names.size() ? names[undated].c_str() : "?");
        return line;
    }
    if (datedSpan > 0.0)
    {
        snprintf(line, sizeof line, "the flights were flown %.0f days apart, so they are lined up at take-off (--align time keeps them by time of day)",
                 datedSpan / SecondsPerDay);
        return line;
    }
    return std::string();
}

double FlightsOnClock::TimeAt(double clockPosition) const
{
    const double last = static_cast<double>(clockTimes.size() - 1);
    const double held = std::isfinite(clockPosition) ? std::clamp(clockPosition, 0.0, last) : 0.0;
    const size_t row = static_cast<size_t>(held);
    const double fraction = held - static_cast<double>(row);
    if (row + 1 >= clockTimes.size())
        return clockTimes[row];
    return clockTimes[row] + fraction * (clockTimes[row + 1] - clockTimes[row]);
}

bool FlightsOnClock::FlightRowAt(size_t flight, double clockPosition, double* row) const
{
    const std::vector<double>& own = times[flight];
    const double t = TimeAt(clockPosition);
    if (t < own.front())
    {
        *row = 0.0;
        return false;
    }
    if (t > own.back())
    {
        *row = static_cast<double>(own.size() - 1);
        return false;
    }
    // The last row at or before t, and as far towards the next as t lies.
    const size_t after = static_cast<size_t>(std::upper_bound(own.begin(), own.end(), t) - own.begin());
    const size_t before = after == 0 ? 0 : after - 1;
    if (after >= own.size() || own[after] == own[before])
        *row = static_cast<double>(before);
    else
        *row = static_cast<double>(before) + (t - own[before]) / (own[after] - own[before]);
    return true;
}

double FlightsOnClock::ClockPositionOf(size_t flight, double row) const
{
    const std::vector<double>& own = times[flight];
    const double last = static_cast<double>(own.size() - 1);
    const double held = std::isfinite(row) ? std::clamp(row, 0.0, last) : 0.0;
    const size_t whole = static_cast<size_t>(held);
    double t = own[whole];
    if (whole + 1 < own.size())
        t += (held - static_cast<double>(whole)) * (own[whole + 1] - own[whole]);
    // Between the two clock rows that enclose t, as far as t lies between them.
    const size_t after = static_cast<size_t>(std::lower_bound(clockTimes.begin(), clockTimes.end(), t) - clockTimes.begin());
    if (after >= clockTimes.size())
        return static_cast<double>(clockTimes.size() - 1);
    if (after == 0 || clockTimes[after] == t)
        return static_cast<double>(after);
    const double span = clockTimes[after] - clockTimes[after - 1];
    return static_cast<double>(after - 1) + (t - clockTimes[after - 1]) / span;
}

std::string FormatUtc(double seconds)
{
    if (!std::isfinite(seconds))
        return "?";
    const double tenths = std::round(seconds * 10.0);
    const int64_t days = static_cast<int64_t>(std::floor(tenths / (SecondsPerDay * 10.0)));
    const double ofDay = (tenths - static_cast<double>(days) * SecondsPerDay * 10.0) / 10.0;
    int64_t year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    const int hours = static_cast<int>(ofDay / 3600.0);
    const int minutes = static_cast<int>((ofDay - hours * 3600.0) / 60.0);
    char text[64];
    snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02d:%02d:%04.1f UTC", static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day), hours, minutes,
             ofDay - hours * 3600.0 - minutes * 60.0);
    return text;
}
