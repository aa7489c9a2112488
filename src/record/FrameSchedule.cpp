#include "record/FrameSchedule.h"

#include <cmath>
#include <cstdio>

#include "log/SampleRow.h"
#include "player/PlaybackClock.h"

static std::vector<double> TimesOf(const SampleRow* rows, int32_t rowCount)
{
    std::vector<double> times(static_cast<size_t>(rowCount > 0 ? rowCount : 0));
    for (size_t i = 0; i < times.size(); ++i)
        times[i] = rows[i].gps_time;
    return times;
}

double PositionAtLogTime(const SampleRow* rows, int32_t rowCount, double logTime)
{
    return PositionAtLogTime(TimesOf(rows, rowCount), logTime);
}

double PositionAtLogTime(const std::vector<double>& times, double logTime)
{
    const size_t rowCount = times.size();
    if (rowCount < 2 || !(logTime > times[0]))
        return 0.0;
    for (size_t row = 0; row + 1 < rowCount; ++row)
    {
        const double before = times[row];
        const double after = times[row + 1];
        if (before <= logTime && logTime <= after)
            return after > before ? static_cast<double>(row) + (logTime - before) / (after - before) : static_cast<double>(row);
    }
    return static_cast<double>(rowCount - 1);
}

double ClockTimeOfMoment(double value, bool sinceStart, const std::vector<double>& clockTimes, const std::vector<double>& logTimes,
                         const std::vector<double>& rowClockTimes)
{
    if (sinceStart)
        return clockTimes.front() + value;
    if (logTimes.empty() || rowClockTimes.size() != logTimes.size())
        return value;
    if (value <= logTimes.front())
        return rowClockTimes.front() - (logTimes.front() - value);
    if (value >= logTimes.back())
        return rowClockTimes.back() + (value - logTimes.back());
    const double position = PositionAtLogTime(logTimes, value);
    const size_t row = static_cast<size_t>(position);
    if (row + 1 >= rowClockTimes.size())
        return rowClockTimes.back();
    return rowClockTimes[row] + (position - static_cast<double>(row)) * (rowClockTimes[row + 1] - rowClockTimes[row]);
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
    return ScheduleRecording(TimesOf(rows, rowCount > 0 ? rowCount : 1), clock, speed, fps, from, to, schedule, error);
}

bool ScheduleRecording(const std::vector<double>& times, const PlaybackClock& clock, double speed, int fps, const double* from, const double* to,
                       FrameSchedule* schedule, std::string* error, const char* axis)
{
    const int32_t rowCount = static_cast<int32_t>(times.size());
    const double firstTime = times.front();
    const double lastTime = times.back();
    const std::string flight = std::string(axis) + ", which runs from " + Seconds(firstTime) + " to " + Seconds(lastTime);
    if (from && rowCount > 1 && *from > lastTime)
    {
        *error = "--from lies after the flight: at " + Seconds(*from) + " of " + flight;
        return false;
    }
    if (to && rowCount > 1 && *to < firstTime)
    {
        *error = "--to lies before the flight: at " + Seconds(*to) + " of " + flight;
        return false;
    }
    const double first = clock.SecondsAt(from ? PositionAtLogTime(times, *from) : 0.0);
    const double last = clock.SecondsAt(to ? PositionAtLogTime(times, *to) : rowCount - 1);
    if (last < first)
    {
        // Only a span given at both ends can be empty.
        *error = "--from and --to hold no part of the flight: " + (from && to ? Seconds(*from) + " to " + Seconds(*to) + " of " : std::string()) + flight;
        return false;
    }
    *schedule = ScheduleFrames(first, last, speed, fps);
    return true;
}
