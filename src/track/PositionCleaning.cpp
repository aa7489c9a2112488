#include "track/PositionCleaning.h"

#include <algorithm>
#include <cmath>

#include "geo/Geodesy.h"

namespace
{

bool ByTime(const TimedPosition& a, const TimedPosition& b)
{
    return a.time < b.time;
}

// Drops the groups of times that are outliers (see OutlierTimeSeparation); `sorted` is in
// time order.
void DropTimeOutliers(std::vector<TimedPosition>* sorted, PositionCounts* counts)
{
    struct Group
    {
        size_t begin, end; // positions [begin, end)
        size_t distinct;   // distinct times in it
    };
    std::vector<Group> groups;
    for (size_t i = 0; i < sorted->size(); ++i)
    {
        const double time = (*sorted)[i].time;
        if (i == 0 || time - (*sorted)[i - 1].time > OutlierTimeSeparation)
            groups.push_back({i, i, 0});
        if (i == 0 || time != (*sorted)[i - 1].time)
            ++groups.back().distinct;
        groups.back().end = i + 1;
    }
    if (groups.size() < 2)
        return;
    size_t largest = 0;
    for (const Group& group : groups)
        largest = std::max(largest, group.distinct);
    std::vector<TimedPosition> kept;
    kept.reserve(sorted->size());
    for (const Group& group : groups)
    {
        if (static_cast<double>(group.distinct) <= OutlierTimeShare * static_cast<double>(largest))
            counts->timeOutliers += group.end - group.begin;
        else
            kept.insert(kept.end(), sorted->begin() + static_cast<long>(group.begin), sorted->begin() + static_cast<long>(group.end));
    }
    sorted->swap(kept);
}

bool Reaches(const TimedPosition& from, const TimedPosition& to)
{
    return GroundDistance(from.latitude, from.longitude, to.latitude, to.longitude) <= MaximumGroundSpeed * std::fabs(to.time - from.time);
}

// Drops the positions no aircraft could have reached; `sorted` is in time order, one
// position per time.
void DropSpeedOutliers(std::vector<TimedPosition>* sorted, PositionCounts* counts)
{
    const std::vector<TimedPosition>& p = *sorted;
    if (p.size() < 2)
        return;
    // The longest run of positions each reached from the one before.
    size_t bestBegin = 0, bestLength = 0;
    for (size_t begin = 0; begin < p.size();)
    {
        size_t end = begin + 1;
        while (end < p.size() && Reaches(p[end - 1], p[end]))
            ++end;
        if (end - begin > bestLength)
        {
            bestBegin = begin;
            bestLength = end - begin;
        }
        begin = end;
    }
    std::vector<char> keep(p.size(), 0);
    std::fill(keep.begin() + static_cast<long>(bestBegin), keep.begin() + static_cast<long>(bestBegin + bestLength), 1);
    // Out from the run: after it, then before it.
    size_t last = bestBegin + bestLength - 1;
    for (size_t i = bestBegin + bestLength; i < p.size(); ++i)
        if (Reaches(p[last], p[i]))
        {
            keep[i] = 1;
            last = i;
        }
    last = bestBegin;
    for (size_t i = bestBegin; i-- > 0;)
        if (Reaches(p[i], p[last]))
        {
            keep[i] = 1;
            last = i;
        }
    std::vector<TimedPosition> kept;
    kept.reserve(p.size());
    for (size_t i = 0; i < p.size(); ++i)
        if (keep[i])
            kept.push_back(p[i]);
    counts->speedOutliers += p.size() - kept.size();
    sorted->swap(kept);
}

// Interpolates the missing altitudes in time; `sorted` is in time order.
void FillAltitudes(std::vector<TimedPosition>* sorted, PositionCounts* counts)
{
    std::vector<TimedPosition>& p = *sorted;
    size_t previous = p.size(); // the last position with an altitude, none yet
    for (size_t i = 0; i < p.size(); ++i)
    {
        if (std::isfinite(p[i].altitude))
        {
            // Fill the run of missing altitudes between the previous known one and this.
            for (size_t k = previous == p.size() ? 0 : previous + 1; k < i; ++k)
            {
                if (previous == p.size())
                    p[k].altitude = p[i].altitude;
                else
                {
                    const double f = (p[k].time - p[previous].time) / (p[i].time - p[previous].time);
                    p[k].altitude = p[previous].altitude + f * (p[i].altitude - p[previous].altitude);
                }
                ++counts->altitudesFilled;
            }
            previous = i;
        }
    }
    if (previous == p.size())
    {
        counts->noAltitude = !p.empty();
        for (TimedPosition& position : p)
            position.altitude = 0.0;
        return;
    }
    for (size_t k = previous + 1; k < p.size(); ++k)
    {
        p[k].altitude = p[previous].altitude;
        ++counts->altitudesFilled;
    }
}

// Makes the longitudes continuous across the 180th meridian: each within half a turn of the
// one before, so that a flight from 179.99 to -179.99 goes on to 180.01 instead of back
// round the world. The replay's map frame runs on continuously below -180 but wraps at +180
// (LongitudeX), so a flight that reaches +180 is moved a whole turn west.
void UnwrapLongitudes(std::vector<TimedPosition>* sorted)
{
    std::vector<TimedPosition>& p = *sorted;
    double highest = p.empty() ? 0.0 : p[0].longitude;
    for (size_t i = 1; i < p.size(); ++i)
    {
        p[i].longitude -= 360.0 * std::round((p[i].longitude - p[i - 1].longitude) / 360.0);
        highest = std::max(highest, p[i].longitude);
    }
    if (highest >= 180.0)
        for (TimedPosition& position : p)
            position.longitude -= 360.0;
}

} // namespace

std::vector<TimedPosition> CleanPositions(const std::vector<TimedPosition>& positions, PositionCounts* counts)
{
    *counts = PositionCounts();
    counts->handedIn = positions.size();
    std::vector<TimedPosition> kept;
    kept.reserve(positions.size());
    for (const TimedPosition& p : positions)
    {
        if (std::isfinite(p.time) && std::fabs(p.latitude) <= 90.0 && std::fabs(p.longitude) <= 180.0)
            kept.push_back(p);
        else
            ++counts->withoutPosition;
    }
    std::stable_sort(kept.begin(), kept.end(), ByTime);
    DropTimeOutliers(&kept, counts);
    const size_t before = kept.size();
    kept.erase(std::unique(kept.begin(), kept.end(), [](const TimedPosition& a, const TimedPosition& b) { return a.time == b.time; }), kept.end());
    counts->repeatedTimes = before - kept.size();
    DropSpeedOutliers(&kept, counts);
    FillAltitudes(&kept, counts);
    UnwrapLongitudes(&kept);
    counts->used = kept.size();
    return kept;
}
