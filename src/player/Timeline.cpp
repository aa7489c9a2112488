#include "player/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "log/SampleSelection.h"

TimelineAxis TimelineAxisOf(const FlightRows& flight)
{
    TimelineAxis axis;
    axis.first = flight[0].samplenumber;
    axis.last = axis.first;
    for (const SampleRow& row : flight)
    {
        axis.first = std::min(axis.first, row.samplenumber);
        axis.last = std::max(axis.last, row.samplenumber);
    }
    return axis;
}

double TimelineFraction(const TimelineAxis& axis, double samplenumber)
{
    if (axis.last <= axis.first)
        return 0.0;
    const double fraction = (samplenumber - axis.first) / (static_cast<double>(axis.last) - axis.first);
    return std::clamp(fraction, 0.0, 1.0);
}

double SampleNumberAtPosition(const FlightRows& flight, double position)
{
    const int32_t lastRow = flight.count - 1;
    const double held = std::clamp(position, 0.0, static_cast<double>(lastRow));
    const int32_t row = static_cast<int32_t>(held);
    const double fraction = held - row;
    const double number = flight[row].samplenumber;
    if (row == lastRow || fraction == 0.0)
        return number;
    return number + fraction * (flight[row + 1].samplenumber - number);
}

std::vector<TimelineSpan> SelectedSpans(const TimelineAxis& axis)
{
    std::vector<TimelineSpan> spans;
    for (int32_t i = 0; i < RangeList.count; ++i)
    {
        // Both bounds are exclusive: the range selects begin + 1 .. end - 1.
        const double firstSelected = RangeList.entries[i].begin + 1.0;
        const double lastSelected = RangeList.entries[i].end - 1.0;
        if (lastSelected < firstSelected || lastSelected < axis.first || firstSelected > axis.last)
            continue;
        spans.push_back(TimelineSpan{TimelineFraction(axis, firstSelected), TimelineFraction(axis, lastSelected)});
    }
    return spans;
}

int32_t RowAtTimelineFraction(const FlightRows& flight, const TimelineAxis& axis, double fraction)
{
    const double target = axis.first + std::clamp(fraction, 0.0, 1.0) * (static_cast<double>(axis.last) - axis.first);
    int32_t best = 0;
    double bestDistance = std::abs(flight[0].samplenumber - target);
    for (int32_t i = 1; i < flight.count; ++i)
    {
        const double distance = std::abs(flight[i].samplenumber - target);
        if (distance < bestDistance)
        {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}
