#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "log/LogWriter.h"
#include "log/SampleRow.h"
#include "track/PositionCleaning.h"
#include "track/RecordedFlight.h"

// The one conversion of a recorded flight into rows of the keyword log, whatever file the
// flight came from.

struct ConversionSettings
{
    double rate = 10.0;      // rows per second
    double maximumGap = 2.0; // seconds between two positions beyond which no row is made
};

struct ConvertedFlight
{
    std::vector<SampleRow> rows;    // in time order
    std::vector<LogColumn> columns; // the columns the flight fills, in the order they are written
    bool motionAttitude = false;    // heading, pitch and roll were derived from the motion
    size_t gapRows = 0;             // rows left out in gaps between positions
    size_t gaps = 0;                // gaps between positions longer than maximumGap
    PositionCounts positions;       // what the positions were, and what was done to them
    double clockOrigin = 0.0;       // seconds since 1970 of gps_time 0, for times since 1970
    // The flight's events on gps_time's clock, in time order (stable), all of them: also
    // those before the first row or after the last.
    std::vector<FlightEvent> events;
    FlightPlan plan;                // what the file says the flight was meant to do, on gps_time's clock
    // Where the camera looked, on gps_time's clock in time order, the yaw from north.
    std::vector<TimedGimbal> gimbal;
    // The wind on gps_time's clock in time order: the file's estimates, else those found from
    // the flight's full turns (WindFromCircles).
    std::vector<TimedWind> wind;
    // Other aircraft's reports on gps_time's clock in time order, all of them.
    std::vector<TimedTraffic> traffic;
    // The photos on gps_time's clock in time order (PhotosOnRows); those without a place counted.
    std::vector<TimedPhoto> photos;
    size_t photosWithoutPosition = 0;
    std::string error;              // why there are no rows, when there are none
};

// Makes the rows. The positions are cleaned first (CleanPositions: outliers in time and
// speed dropped, missing altitudes interpolated); each other channel is sorted by time
// (repeated times keep their first record; non-finite values are dropped). When the flight's
// times count from 1970 they are counted from midnight (UTC) of the first position's day.
// Rows fall every 1/rate seconds from the first position to the last; a row whose time lies
// between two positions more than maximumGap apart is left out (unless a position falls on
// it), and sample numbers count on across it, so they keep saying when a row was.
//
// - gps_time: seconds on the flight's clock; gps_curlat, gps_curlon in minutes of arc and
//   gps_curalt in metres, linear between positions.
// - gps_curheading, pyro_curroll, pyro_curpitch: the recorded attitude, each angle linear
//   along the shorter way round between records and held beyond the first and last, in the
//   log's convention (log/LogAttitude.h). Without any attitude they are derived
//   from the motion: heading along the ground track; pitch along the climb, taken over a
//   ground speed of at least 10 m/s and bounded to ±30°; roll from the coordinated-turn
//   bank atan(v * turn rate / g); pitch and roll smoothed over five rows; each run of rows
//   between gaps is derived on its own.
// - gps_curspeed: the recorded ground speed, else the speed over the ground of the positions.
// - The other channels fill their columns where the flight has them: counts and modes
//   (satellites, fix, flight mode) hold their last value, the rest are linear; before the
//   first record a channel takes its first value.
// - The gimbal's attitude keeps its own times (sorted, one record a time, finite angles);
//   a yaw counted from the nose has the rows' heading at its time added.
// Fails (no rows, `error` set) with fewer than two positions at distinct times, a position
// beyond the map's latitudes (MapLatitudeLimit), fewer than
// two rows (positions closer in time than a row step), a rate that is not positive, more
// than a million rows, or sample numbers beyond 32 bits.
ConvertedFlight ConvertFlight(const RecordedFlight& flight, const ConversionSettings& settings);

// The columns every converted log has, in their order: sample number, time, position,
// speed, heading, pitch and roll (millimetres in position, centimetres in height and speed,
// hundredths of a milliradian).
std::vector<LogColumn> BaseLogColumns();

// The keyword log of the rows: the header line of the columns, then one line per row. A
// value that rounds to zero prints without a sign ("0.00000", never "-0.00000").
std::string FormatConvertedLog(const ConvertedFlight& converted);
