#include "track/FlightWind.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "batch/AtomicFile.h"
#include "geo/Geodesy.h"
#include "geo/LinearSystem.h"
#include "track/ConversionSummary.h"

namespace
{

const char* const HeaderLine = "time,north,east,from,speed,source";
const double EarthRadius = 6371008.8;
const double ShortestTurn = 15.0, LongestTurn = 60.0; // seconds for a whole turn
const double SlowestCircling = 3.0;                   // m/s over the ground
// Faster through the air than anything that circles to climb: a fix that jumped.
const double FastestCircling = 40.0;
const double LongestStep = 5.0;                       // seconds between fixes within a turn

struct Velocity
{
    double time, north, east;
};

// Velocities between successive fixes, at the middle of each step, in a plane about the
// first fix (the turns are far smaller than the Earth's curvature matters over).
std::vector<Velocity> GroundVelocities(const std::vector<TimedPosition>& positions)
{
    std::vector<Velocity> velocities;
    if (positions.empty())
        return velocities;
    const double across = std::cos(positions.front().latitude * RadiansPerDegree);
    for (size_t i = 1; i < positions.size(); ++i)
    {
        const TimedPosition& a = positions[i - 1];
        const TimedPosition& b = positions[i];
        const double dt = b.time - a.time;
        if (!(dt > 0.0) || dt > LongestStep)
            continue;
        const double north = (b.latitude - a.latitude) * RadiansPerDegree * EarthRadius / dt;
        const double east = (b.longitude - a.longitude) * RadiansPerDegree * EarthRadius * across / dt;
        if (std::isfinite(north) && std::isfinite(east))
            velocities.push_back(Velocity{(a.time + b.time) / 2.0, north, east});
    }
    return velocities;
}

// Least-squares circle x² + y² + D x + E y + F = 0 through the points (the algebraic fit:
// a 3 by 3 linear system, no iteration). False when the points do not fix one.
bool FitCircle(const std::vector<Velocity>& v, size_t first, size_t last, double* north, double* east, double* radius, double* scatter)
{
    double a[3][3] = {}, b[3] = {}, x[3] = {};
    for (size_t i = first; i <= last; ++i)
    {
        const double row[3] = {v[i].north, v[i].east, 1.0};
        const double rhs = -(v[i].north * v[i].north + v[i].east * v[i].east);
        for (int r = 0; r < 3; ++r)
        {
            for (int c = 0; c < 3; ++c)
                a[r][c] += row[r] * row[c];
            b[r] += row[r] * rhs;
        }
    }
    if (!SolveThreeByThree(a, b, x, 1e-9))
        return false;
    const double d = x[0], e = x[1], f = x[2];
    *north = -d / 2.0;
    *east = -e / 2.0;
    const double squared = *north * *north + *east * *east - f;
    if (!(squared > 0.0))
        return false;
    *radius = std::sqrt(squared);
    double sum = 0.0;
    for (size_t i = first; i <= last; ++i)
    {
        const double off = std::hypot(v[i].north - *north, v[i].east - *east) - *radius;
        sum += off * off;
    }
    *scatter = std::sqrt(sum / static_cast<double>(last - first + 1));
    return true;
}

} // namespace

// A wind with numbers, that an aircraft may meet, while there is room for it.
static bool UsableWind(const TimedWind& w, size_t kept)
{
    return std::isfinite(w.time) && std::isfinite(w.north) && std::isfinite(w.east) && std::hypot(w.north, w.east) <= MaximumWindSpeed && kept < MaximumWindRecords;
}

void KeepWind(std::vector<TimedWind>* wind, const TimedWind& w, size_t* invalid)
{
    if (UsableWind(w, wind->size()))
        wind->push_back(w);
    else
        ++*invalid;
}

void WindComponentsFrom(double fromDegrees, double speed, double* north, double* east)
{
    // Air coming from the north goes south.
    *north = -speed * std::cos(fromDegrees * RadiansPerDegree);
    *east = -speed * std::sin(fromDegrees * RadiansPerDegree);
}

double WindFromDegrees(const TimedWind& w)
{
    // Adding 0 turns the -0 of a wind from due north into 0, which prints without a sign.
    const double degrees = std::atan2(-w.east, -w.north) / RadiansPerDegree + 0.0;
    return degrees < 0.0 ? degrees + 360.0 : (degrees >= 360.0 ? degrees - 360.0 : degrees);
}

double WindSpeed(const TimedWind& w)
{
    return std::hypot(w.north, w.east);
}

// A turn that drifted in a gust, or where the pilot changed speed, fits a circle far from the
// wind its neighbours agree on: each estimate is kept only within 3 m/s, or four times their
// usual spread, of the median of the seven before and after it.
static std::vector<TimedWind> WithoutOutlyingTurns(const std::vector<TimedWind>& wind)
{
    const size_t reach = 7;
    if (wind.size() < 5)
        return wind;
    auto median = [](std::vector<double> values) {
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
        return values[values.size() / 2];
    };
    std::vector<TimedWind> kept;
    for (size_t i = 0; i < wind.size(); ++i)
    {
        const size_t from = i > reach ? i - reach : 0, to = std::min(wind.size(), i + reach + 1);
        std::vector<double> north, east, off;
        for (size_t j = from; j < to; ++j)
        {
            north.push_back(wind[j].north);
            east.push_back(wind[j].east);
        }
        const double n = median(north), e = median(east);
        for (size_t j = from; j < to; ++j)
            off.push_back(std::hypot(wind[j].north - n, wind[j].east - e));
        if (std::hypot(wind[i].north - n, wind[i].east - e) <= std::max(3.0, 4.0 * median(off)))
            kept.push_back(wind[i]);
    }
    return kept;
}

std::vector<TimedWind> WindFromCircles(const std::vector<TimedPosition>& positions)
{
    const std::vector<Velocity> v = GroundVelocities(positions);
    std::vector<TimedWind> wind;
    size_t start = 0;
    while (start + 2 < v.size())
    {
        double turned = 0.0, swept = 0.0;
        size_t end = start;
        bool whole = false;
        for (size_t j = start + 1; j < v.size(); ++j)
        {
            if (v[j].time - v[start].time > LongestTurn || std::hypot(v[j].north, v[j].east) < SlowestCircling || v[j].time - v[j - 1].time > LongestStep)
                break;
            double change = std::atan2(v[j].east, v[j].north) - std::atan2(v[j - 1].east, v[j - 1].north);
            change = std::remainder(change, 2.0 * Pi);
            turned += change;
            swept += std::fabs(change);
            if (std::fabs(turned) >= 2.0 * Pi)
            {
                end = j;
                whole = true;
                break;
            }
        }
        // A turn is one way round: weaving that adds up to a circle is no thermal circle.
        if (!whole || swept > 1.25 * std::fabs(turned) || v[end].time - v[start].time < ShortestTurn || std::hypot(v[start].north, v[start].east) < SlowestCircling)
        {
            ++start;
            continue;
        }
        double north = 0.0, east = 0.0, radius = 0.0, scatter = 0.0;
        if (FitCircle(v, start, end, &north, &east, &radius, &scatter) && scatter <= radius / 5.0 && radius >= SlowestCircling && radius <= FastestCircling && std::hypot(north, east) < 0.9 * radius)
        {
            TimedWind w;
            w.time = (v[start].time + v[end].time) / 2.0;
            w.north = north;
            w.east = east;
            w.source = "circles";
            size_t invalid = 0;
            KeepWind(&wind, w, &invalid);
        }
        start = end;
    }
    return WithoutOutlyingTurns(wind);
}

std::string WindPathFor(const std::string& logPath)
{
    return PathWithExtension(logPath, ".wind.csv");
}

bool WriteWind(const std::string& path, const std::vector<TimedWind>& wind, std::string* error)
{
    return WriteRecordsAfterHeader(path, HeaderLine, wind, error, [](const TimedWind& w) {
        char numbers[128];
        snprintf(numbers, sizeof numbers, "%.3f,%.2f,%.2f,%.1f,%.2f,", w.time, w.north, w.east, WindFromDegrees(w), WindSpeed(w));
        // The method's name is ours, but keep the file a CSV whatever it holds.
        return numbers + CsvFieldText(w.source);
    });
}

bool ReadWind(const std::string& path, std::vector<TimedWind>* wind, size_t* skipped, std::string* error)
{
    const auto parse = [wind](const std::vector<std::string>& fields, TimedWind* w) {
        // The components are what count; the direction and speed are there for a reader's eye.
        if (fields.size() != 6 || !ReadCsvNumber(fields[0], false, &w->time) || !ReadCsvNumber(fields[1], false, &w->north) || !ReadCsvNumber(fields[2], false, &w->east) || fields[5].empty())
            return false;
        w->source = fields[5];
        return UsableWind(*w, wind->size());
    };
    if (!ReadRecordsAfterHeader(path, HeaderLine, wind, skipped, error, parse))
        return false;
    std::stable_sort(wind->begin(), wind->end(), [](const TimedWind& a, const TimedWind& b) { return a.time < b.time; });
    return true;
}

std::string WindSummary(const std::vector<TimedWind>& wind)
{
    std::vector<std::string> sources;
    for (const auto& record : wind)
        sources.push_back(record.source);
    return CountedBySource(sources, "wind estimate", "wind estimates");
}

bool WindAt(const std::vector<TimedWind>& wind, double time, TimedWind* at)
{
    if (wind.empty() || !std::isfinite(time))
        return false;
    const auto after = std::lower_bound(wind.begin(), wind.end(), time, [](const TimedWind& w, double t) { return w.time < t; });
    if (after == wind.begin() || after == wind.end())
    {
        const TimedWind& nearest = after == wind.end() ? wind.back() : wind.front();
        if (std::fabs(nearest.time - time) > WindHeldFor)
            return false;
        *at = nearest;
        return true;
    }
    const TimedWind& before = *(after - 1);
    const double span = after->time - before.time;
    const double share = span > 0.0 ? (time - before.time) / span : 0.0;
    *at = share < 0.5 ? before : *after;
    at->time = time;
    at->north = before.north + share * (after->north - before.north);
    at->east = before.east + share * (after->east - before.east);
    return true;
}
