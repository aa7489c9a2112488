#include "player/PlaybackClock.h"

#include <algorithm>
#include <cmath>

namespace
{
double UsableStep(double step)
{
    return std::isfinite(step) && step > 0.0 ? step : 1.0;
}

// Rows `step` apart.
std::vector<double> EvenTimes(int32_t rowCount, double step)
{
    std::vector<double> times(std::max<int32_t>(rowCount, 1));
    for (size_t i = 0; i < times.size(); ++i)
        times[i] = static_cast<double>(i) * step;
    return times;
}
} // namespace

PlaybackClock::PlaybackClock(int32_t rowCount, double step, double speed) : PlaybackClock(EvenTimes(rowCount, UsableStep(step)), step, speed)
{
}

PlaybackClock::PlaybackClock(const std::vector<double>& logTimes, double step, double speed)
    : rowCount(std::max<int32_t>(static_cast<int32_t>(logTimes.size()), 1)),
      step(UsableStep(step)),
      speed(std::clamp(speed, SlowestSpeed, FastestSpeed)),
      rowSeconds(rowCount, 0.0),
      gapSeconds(rowCount, 0.0)
{
    for (int32_t i = 1; i < static_cast<int32_t>(logTimes.size()); ++i)
    {
        double seconds = logTimes[i] - logTimes[i - 1];
        if (!(seconds > 0.0 && std::isfinite(seconds)))
            seconds = this->step;
        else if (seconds > LongGapSeconds)
        {
            gapSeconds[i - 1] = seconds;
            seconds = SkippedGapSeconds;
        }
        rowSeconds[i] = rowSeconds[i - 1] + seconds;
    }
}

double PlaybackClock::SecondsAt(double where) const
{
    const double held = std::isnan(where) ? 0.0 : std::clamp(where, 0.0, static_cast<double>(LastRow()));
    const int32_t row = static_cast<int32_t>(held);
    if (row >= LastRow())
        return rowSeconds[LastRow()];
    return rowSeconds[row] + (held - row) * (rowSeconds[row + 1] - rowSeconds[row]);
}

double PlaybackClock::PositionAt(double seconds) const
{
    if (!(seconds > 0.0))
        return 0.0;
    if (seconds >= rowSeconds.back())
        return LastRow();
    // The first row after `seconds`; the times increase strictly.
    const int32_t after = static_cast<int32_t>(std::upper_bound(rowSeconds.begin(), rowSeconds.end(), seconds) - rowSeconds.begin());
    const int32_t row = after - 1;
    return row + (seconds - rowSeconds[row]) / (rowSeconds[after] - rowSeconds[row]);
}

double PlaybackClock::SkippedGap() const
{
    const int32_t row = static_cast<int32_t>(position);
    // On a row the aircraft is at that row's sample, not in the gap after it.
    return row < LastRow() && position > row ? gapSeconds[row] : 0.0;
}

void PlaybackClock::Advance(double wallSeconds)
{
    if (paused || !(wallSeconds > 0.0))
        return;
    const double end = LastRow();
    if (end <= 0.0)
        return; // one row: nothing to play
    const double seconds = SecondsAt(position) + wallSeconds * speed;
    const double duration = DurationSeconds();
    if (seconds < duration)
        position = PositionAt(seconds);
    else if (looping)
        position = PositionAt(std::fmod(seconds, duration));
    else
    {
        position = end;
        paused = true;
    }
}

int32_t PlaybackClock::Row() const
{
    return std::clamp(static_cast<int32_t>(std::lround(position)), 0, LastRow());
}

void PlaybackClock::SetPaused(bool pause)
{
    if (pause)
        position = Row();
    else if (!looping && Row() == LastRow())
        position = 0.0;
    paused = pause;
}

void PlaybackClock::SetSpeed(double to)
{
    speed = std::clamp(to, SlowestSpeed, FastestSpeed);
}

void PlaybackClock::Faster()
{
    speed = std::min(speed * 2.0, FastestSpeed);
}

void PlaybackClock::Slower()
{
    speed = std::max(speed / 2.0, SlowestSpeed);
}

void PlaybackClock::SeekSeconds(double seconds)
{
    const double target = std::round(PositionAt(FlightSeconds() + seconds));
    // Clamped in double first: a seek far past either end must not overflow the row type.
    SeekRow(static_cast<int32_t>(std::clamp(target, 0.0, static_cast<double>(LastRow()))));
}

void PlaybackClock::SeekRow(int32_t row)
{
    position = std::clamp(row, 0, LastRow());
}

void PlaybackClock::SetPosition(double where)
{
    position = std::isnan(where) ? 0.0 : std::clamp(where, 0.0, static_cast<double>(LastRow()));
}

void PlaybackClock::StepRows(int32_t rows)
{
    SetPaused(true);
    const int64_t target = static_cast<int64_t>(Row()) + rows; // no overflow at the ends of int32_t
    SeekRow(static_cast<int32_t>(std::clamp<int64_t>(target, 0, LastRow())));
}
