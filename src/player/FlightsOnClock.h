#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "log/SampleRow.h"
#include "track/TrackReading.h" // RowUtcSeconds, by which flights line up by time of day

// Several flights on one clock. Each flight's rows are put on a common time axis, shifted so
// that the flights line up as asked; the player's clock runs over every time at which some
// flight has a row, and each flight shows only between its first and its last row.

enum class FlightAlignment
{
    Automatic, // by time of day when every flight logs a date within a day of the others, else at take-off
    Time,
    Takeoff,
    Start,
};

// "time", "takeoff" or "start" into *alignment; false for another word.
bool ParseFlightAlignment(const std::string& word, FlightAlignment* alignment);
// As the display names it: "by time of day", "at take-off", "at the start".
const char* AlignmentName(FlightAlignment alignment);

// A flight has left the ground at its first row that lies TakeoffClimb above the lowest
// altitude logged before it; a flight that never climbs so far takes off at its first row.
const double TakeoffClimb = 5.0; // metres
int32_t TakeoffRow(const FlightRows& flight);

// Automatic lines up dated flights by time of day only while they all lie within this span:
// flights flown on different days never meet on a clock of their times, and its stretches
// between them play as gaps, so they are compared at take-off instead.
const double LongestTimeOfDaySpan = 86400.0; // seconds

class FlightsOnClock
{
public:
    // Over the flights (each with at least one row). Time alignment asked of flights that do
    // not all log a date falls back to take-off, as Automatic does; asked for, it keeps
    // flights however far apart their dates are.
    FlightsOnClock(const std::vector<FlightRows>& flights, FlightAlignment asked);

    FlightAlignment Alignment() const { return used; }
    // The line that tells why the flights were not lined up as asked, naming the flights by
    // `names` (one per flight): a flight without a date when time of day was asked for, or
    // dates more than LongestTimeOfDaySpan apart by default; empty otherwise.
    std::string Note(const std::vector<std::string>& names) const;
    // The common times (seconds, increasing, at least one) at which some flight has a row:
    // the rows of the player's clock (PlaybackClock), whose positions index them.
    const std::vector<double>& ClockTimes() const { return clockTimes; }
    // The shortest step of the flights' own (SampleStep), for the clock.
    double Step() const { return step; }

    // The common time at a clock position (held within the clock's rows).
    double TimeAt(double clockPosition) const;
    // The fractional row of `flight` at a clock position, held within its rows; false when
    // the flight has no data there (before its first row or after its last).
    bool FlightRowAt(size_t flight, double clockPosition, double* row) const;
    // The clock position of a fractional row of `flight`.
    double ClockPositionOf(size_t flight, double row) const;
    // The common time of the flight's first row, and of each of its rows.
    double StartOf(size_t flight) const { return times[flight].front(); }
    const std::vector<double>& TimesOf(size_t flight) const { return times[flight]; }
    // Lined up by time of day, the UTC seconds since 1970 at which the common clock stands at 0.
    double Origin() const { return origin; }

private:
    FlightAlignment used = FlightAlignment::Start;
    std::vector<std::vector<double>> times; // per flight, per row: common seconds, never decreasing
    std::vector<double> clockTimes;
    double step = 1.0;
    double origin = 0.0;
    size_t undated = SIZE_MAX;  // the first flight without a date, when time of day was asked
    double datedSpan = 0.0;     // seconds from the first dated row to the last, when too long by default
};

// UTC seconds since 1970 as "2019-08-25 08:22:54.0 UTC".
std::string FormatUtc(double seconds);
