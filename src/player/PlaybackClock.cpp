#include "player/PlaybackClock.h"

#include <algorithm>
#include <cmath>

PlaybackClock::PlaybackClock(int32_t rowCount, double step, double speed)
    : rowCount(std::max<int32_t>(rowCount, 1)),
      step(std::isfinite(step) && step > 0.0 ? step : 1.0),
      speed(std::clamp(speed, SlowestSpeed, FastestSpeed))
{
}

void PlaybackClock::Advance(double wallSeconds)
{
    if (paused || !(wallSeconds > 0.0))
        return;
    const double end = LastRow();
    if (end <= 0.0)
        return; // one row: nothing to play
    position += wallSeconds * speed / step;
    if (position < end)
        return;
    if (looping)
        position = std::fmod(position, end);
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
    const double target = std::round(position + seconds / step);
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
