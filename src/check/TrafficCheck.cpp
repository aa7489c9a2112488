#include "check/TrafficCheck.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "geo/Geodesy.h"

namespace
{

struct Fix
{
    double time, latitude, longitude, altitude; // degrees, metres
};

// The rows' positions in time order, those without one passed over.
std::vector<Fix> Fixes(const FlightRows& rows)
{
    std::vector<Fix> fixes;
    for (const SampleRow& row : rows)
    {
        const Fix fix{row.gps_time, row.gps_curlat / 60.0, row.gps_curlon / 60.0, row.gps_curalt};
        if (std::isfinite(fix.time) && std::isfinite(fix.latitude) && std::isfinite(fix.longitude) && std::isfinite(fix.altitude))
            fixes.push_back(fix);
    }
    std::stable_sort(fixes.begin(), fixes.end(), [](const Fix& a, const Fix& b) { return a.time < b.time; });
    return fixes;
}

// Where the flight was at `time`: false outside its span or within a gap.
bool FlightAt(const std::vector<Fix>& fixes, double time, double longestGap, Fix* at)
{
    if (fixes.empty() || time < fixes.front().time || time > fixes.back().time)
        return false;
    const auto after = std::lower_bound(fixes.begin(), fixes.end(), time, [](const Fix& f, double t) { return f.time < t; });
    if (after->time == time)
    {
        *at = *after;
        return true;
    }
    const Fix& b = *after;
    const Fix& a = *(after - 1);
    if (b.time - a.time > longestGap)
        return false;
    const double f = (time - a.time) / (b.time - a.time);
    *at = Fix{time, a.latitude + f * (b.latitude - a.latitude), a.longitude + f * (b.longitude - a.longitude), a.altitude + f * (b.altitude - a.altitude)};
    return true;
}

// Whether a measured report is closer than the approach so far: one with an altitude beats
// one without, whatever their distances.
bool Closer(bool hasAltitude, double separation, const TrafficApproach& best)
{
    if (best.measured == 0)
        return true;
    const bool bestHasAltitude = std::isfinite(best.vertical);
    if (hasAltitude != bestHasAltitude)
        return hasAltitude;
    return separation < best.separation;
}

} // namespace

std::vector<TrafficApproach> ClosestApproaches(const FlightRows& rows, const std::vector<TimedTraffic>& traffic, double longestGap)
{
    const std::vector<Fix> fixes = Fixes(rows);
    std::map<uint32_t, TrafficApproach> byAddress;
    for (const TimedTraffic& report : traffic)
    {
        TrafficApproach& approach = byAddress[report.address];
        approach.address = report.address;
        ++approach.reports;
        if (!report.callsign.empty())
            approach.callsign = report.callsign;
        Fix ours;
        if (!FlightAt(fixes, report.time, longestGap, &ours))
            continue;
        const double horizontal = GroundDistance(ours.latitude, ours.longitude, report.latitude, report.longitude);
        const double vertical = report.altitude - ours.altitude;
        const bool hasAltitude = std::isfinite(vertical);
        const double separation = hasAltitude ? std::hypot(horizontal, vertical) : horizontal;
        if (!std::isfinite(horizontal))
            continue;
        if (Closer(hasAltitude, separation, approach))
        {
            approach.time = report.time;
            approach.horizontal = horizontal;
            approach.vertical = hasAltitude ? vertical : NAN;
            approach.separation = separation;
        }
        ++approach.measured;
    }
    std::vector<TrafficApproach> approaches;
    for (auto& entry : byAddress)
        approaches.push_back(std::move(entry.second));
    std::stable_sort(approaches.begin(), approaches.end(), [](const TrafficApproach& a, const TrafficApproach& b) {
        if ((a.measured > 0) != (b.measured > 0))
            return a.measured > 0;
        return a.measured > 0 && a.separation < b.separation;
    });
    return approaches;
}
