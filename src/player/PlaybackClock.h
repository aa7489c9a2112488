#pragma once
#include <cstdint>
#include <vector>

// Where the player stands in the recorded flight and how fast it moves on. A pure clock:
// it is told how much wall time passed (each frame, or in fixed steps when a flight is
// rendered frame by frame) and knows nothing of windows or the scene.
//
// Positions are fractional row indices of the sample table: 0 is the first accepted row,
// rowCount - 1 the last, and a whole number stands exactly on that row's sample. Flight
// seconds are the log's own time counted from the first row; a speed of 1 plays the rows
// as fast as they were flown. A long gap between two rows (a GPS without a fix, a clock
// that jumped, samples left out) would freeze the picture for as long as it lasted, so it
// plays as SkippedGapSeconds instead, and the display says how long the gap really was.

const double SlowestSpeed = 0.25; // times the recorded speed
const double FastestSpeed = 64.0;

// A step between two rows of more than LongGapSeconds of log time plays as
// SkippedGapSeconds: a second of video at the replay's x3.
const double LongGapSeconds = 5.0;
const double SkippedGapSeconds = 3.0;

class PlaybackClock
{
public:
    // rowCount: at least 1 (fewer counts as 1). step: recorded seconds from one row to the
    // next; a step that is not a positive finite number counts as 1 s. Starts on the first
    // row, playing at `speed` (clamped to the range above), looping.
    PlaybackClock(int32_t rowCount, double step, double speed);
    // Over rows logged at `logTimes` (gps_time, one per row, at least one): each step as long
    // as the log says, a long gap shortened, and a step whose time stands still, goes back
    // or is no number as long as `step`.
    PlaybackClock(const std::vector<double>& logTimes, double step, double speed);

    // Moves on by `wallSeconds` (negative counts as 0) at the current speed, unless paused.
    // Past the last row a looping clock goes on from the first, as the replay does; one that
    // does not loop stops on the last row, paused.
    void Advance(double wallSeconds);

    double Position() const { return position; }
    // The row nearest the position.
    int32_t Row() const;
    double FlightSeconds() const { return SecondsAt(position); }
    double DurationSeconds() const { return rowSeconds.back(); }
    // Flight seconds at a position, and the position at flight seconds, each held within
    // the flight.
    double SecondsAt(double where) const;
    double PositionAt(double seconds) const;
    // The log seconds of the long gap the position is passing, 0 when it is on no gap.
    double SkippedGap() const;
    int32_t RowCount() const { return rowCount; }
    double Step() const { return step; }
    double Speed() const { return speed; }
    bool Paused() const { return paused; }
    bool Looping() const { return looping; }

    // Pausing stops on the nearest row, so a paused clock always stands on one sample.
    // Resuming on the last row of a clock that does not loop starts again from the first.
    void SetPaused(bool pause);
    void TogglePause() { SetPaused(!paused); }

    // Double and halve the speed within SlowestSpeed .. FastestSpeed. The position does not
    // change: only how fast it moves from here on.
    void Faster();
    void Slower();
    // To `speed`, held within the range above: for a clock that follows another.
    void SetSpeed(double speed);

    // By `seconds` of recorded time (negative goes back), to the nearest row, held within
    // the first and the last row. Playing or paused stays as it was.
    void SeekSeconds(double seconds);
    // To `row`, held within the first and the last row.
    void SeekRow(int32_t row);
    void ToStart() { SeekRow(0); }
    // To a fractional position, held within the first and the last row (a position that is
    // not a number counts as the first row): for rendering a flight frame by frame, where
    // each frame's position is computed, not accumulated. Playing or paused stays as it was.
    void SetPosition(double where);

    // Pauses (on the nearest row), then moves `rows` rows on (negative: back), held within
    // the first and the last row.
    void StepRows(int32_t rows);

    void SetLooping(bool loop) { looping = loop; }
    void ToggleLoop() { looping = !looping; }

private:
    int32_t LastRow() const { return rowCount - 1; }

    int32_t rowCount;
    double step;
    double speed;
    double position = 0.0;
    bool paused = false;
    bool looping = true;
    std::vector<double> rowSeconds; // flight seconds of each row: 0, increasing
    std::vector<double> gapSeconds; // log seconds of a long gap after each row, else 0
};
