#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SampleRow;

class PlaybackClock;

// Which moments of the flight a recording shows. A video of `fps` frames a second at
// `speed` times the recorded speed moves on speed / fps flight seconds a frame, so the
// result is the same however long a frame takes to draw. Frame 0 stands on the first
// moment; the last frame is the last whole step that does not pass the end, so a span of
// exactly N steps has N + 1 frames and ends on the end.
//
// Moments are the player clock's flight seconds (PlaybackClock.h): the log's own time from
// the first row, with each long gap shortened to a fixed span.
struct FrameSchedule
{
    double first = 0.0;    // flight seconds of frame 0
    double last = 0.0;     // the end asked for; the last frame lies on or just before it
    double perFrame = 0.0; // flight seconds a frame moves on
    int64_t frameCount = 0;

    double SecondsOf(int64_t frame) const { return first + perFrame * static_cast<double>(frame); }
    // Seconds of video: frameCount / fps.
    double VideoSeconds(int fps) const { return static_cast<double>(frameCount) / fps; }
};

// The position at which the log's own time (gps_time, seconds) reaches `logTime`: between
// the two rows around it, in proportion; before the first row's time the first row, and
// past the last row's time the last. Rows whose times go backwards are passed over until
// the time is reached.
double PositionAtLogTime(const SampleRow* rows, int32_t rowCount, double logTime);
// The same over the times of the clock's rows (at least one).
double PositionAtLogTime(const std::vector<double>& times, double logTime);

// Where a recording's --from or --to stands on the times of its clock's rows (`clockTimes`,
// at least one): written +S (`sinceStart`), S seconds after the first of them; else the log
// time `value` of the selected flight, whose rows have the log times `logTimes` and stand at
// `rowClockTimes` on that clock (with one flight, its log times again): between two rows in
// proportion (PositionAtLogTime), and before its first row or after its last as far from that
// row as the log time is, since other flights may fly there.
double ClockTimeOfMoment(double value, bool sinceStart, const std::vector<double>& clockTimes, const std::vector<double>& logTimes,
                         const std::vector<double>& rowClockTimes);

// From flight second `first` to `last` (last >= first) at `speed` (> 0) and `fps` (> 0).
FrameSchedule ScheduleFrames(double first, double last, double speed, int fps);

// The schedule of a recording over rows[0 .. rowCount-1], played by `clock` (a clock over
// their times): from the log time `from` (or the first row) to `to` (or the last row). False, with the reason in `error`, when that span
// holds no frame: it lies wholly before or after the flight.
bool ScheduleRecording(const SampleRow* rows, int32_t rowCount, const PlaybackClock& clock, double speed, int fps, const double* from,
                       const double* to, FrameSchedule* schedule, std::string* error);
// The same over the times of the clock's rows (at least one): the common clock's seconds
// when several flights share it.
// `axis` names those times in the error.
bool ScheduleRecording(const std::vector<double>& times, const PlaybackClock& clock, double speed, int fps, const double* from, const double* to,
                       FrameSchedule* schedule, std::string* error, const char* axis = "the flight's log time");
