#include "record/FrameSchedule.h"

#include <cmath>
#include <cstdio>

#include "log/SampleTable.h"
#include "player/PlaybackClock.h"

double PositionAtLogTime(const SampleRow* rows, int32_t rowCount, double logTime)
{
    if (rowCount < 2 || !(logTime > rows[0].gps_time))
        return 0.0;
    for (int32_t row = 0; row + 1 < rowCount; ++row)
    {
        const double before = rows[row].gps_time;
        const double after = rows[row + 1].gps_time;
        if (before <= logTime && logTime <= after)
            return after > before ? row + (logTime - before) / (after - before) : row;
    }
    return rowCount - 1;
}

FrameSchedule ScheduleFrames(double first, double last, double speed, int fps)
{
    FrameSchedule schedule;
    schedule.first = first;
    schedule.last = last;
    schedule.perFrame = speed / fps;
    // A millionth of a frame of slack: a span of whole steps, computed in floating point,
    // must still reach its end.
    const double steps = (last - first) / schedule.perFrame;
    schedule.frameCount = static_cast<int64_t>(std::floor(steps + 1e-6)) + 1;
    return schedule;
}

static std::string Seconds(double value)
{
    char text[64];
    snprintf(text, sizeof text, "%.2f s", value);
    return text;
}

bool ScheduleRecording(const SampleRow* rows, int32_t rowCount, const PlaybackClock& clock, double speed, int fps, const double* from,
                       const double* to, FrameSchedule* schedule, std::string* error)
{
    const double firstTime = rows[0].gps_time;
    const double lastTime = rows[rowCount - 1].gps_time;
    const std::string flight = "the flight's log time runs from " + Seconds(firstTime) + " to " + Seconds(lastTime);
    if (from && rowCount > 1 && *from > lastTime)
    {
        *error = "--from " + Seconds(*from) + " lies after the flight: " + flight;
        return false;
    }
    if (to && rowCount > 1 && *to < firstTime)
    {
        *error = "--to " + Seconds(*to) + " lies before the flight: " + flight;
        return false;
    }
    const double first = clock.SecondsAt(from ? PositionAtLogTime(rows, rowCount, *from) : 0.0);
    const double last = clock.SecondsAt(to ? PositionAtLogTime(rows, rowCount, *to) : rowCount - 1);
    if (last < first)
    {
        *error = "--from and --to hold no part of the flight: " + flight;
        return false;
    }
    *schedule = ScheduleFrames(first, last, speed, fps);
    return true;
}
