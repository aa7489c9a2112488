#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "log/SampleRow.h"
#include "track/FlightFile.h"
#include "track/RecordedFlight.h"

// What the readers of flight files share: the file in memory, how text is told from binary,
// and for the track formats (GPX, IGC, CSV) the calendar, the description of their one
// stream and the tally of the points they read but leave out.

// Bytes looked at to tell text from binary, and to find a text file's first line.
const size_t TextWindow = 4096;

// True when the first TextWindow bytes hold no NUL.
bool IsText(std::string_view bytes);

// The first line that is not blank (after a UTF-8 byte-order mark) within the first
// TextWindow bytes, without its line end; empty for binary bytes and for blanks alone.
std::string FirstTextLine(std::string_view bytes);

const double SecondsPerDay = 86400.0;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's civil-days rule).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
// The date of a day since 1970-01-01: its inverse.
void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day);

// A log row's time as seconds since 1970 (UTC), when the row logs a date (gps_date, DDMMYY):
// gps_time is then the seconds of that day, or already seconds since 1970 when it is more
// than two days' worth. The player lines flights up by it, and a clip is synced by it.
bool RowUtcSeconds(const SampleRow& row, double* seconds);

// The points a reader leaves out, by reason, each reason with the line of its first point.
class SkippedPoints
{
public:
    // One more point left out for the reason ("without a time"), on the line (from 1).
    void Skip(const std::string& reason, size_t line);
    // The same, for a point whose line is only worked out (by `line()`) for the first of a reason.
    template <typename LineOf>
    void SkipAt(const std::string& reason, LineOf line)
    {
        for (Reason& known : reasons)
            if (known.text == reason)
            {
                ++known.count;
                return;
            }
        reasons.push_back({reason, 1, line()});
    }
    size_t Total() const;
    // Into the flight's skippedPoints, as "without a time (the first on line 12)".
    void Report(RecordedFlight* flight) const;

private:
    struct Reason
    {
        std::string text;
        size_t count;
        size_t firstLine;
    };
    std::vector<Reason> reasons;
};

// The line (from 1) on which the byte at `offset` of the bytes stands.
size_t LineAt(std::string_view bytes, size_t offset);

// Seconds since 1970-01-01 00:00 UTC of an ISO 8601 date-time ("2024-05-01T10:00:00.5Z",
// an offset such as +02:00, or none, read as UTC). False when the text is no such time.
bool ParseIsoTime(const std::string& text, double* seconds);

// The format, the clock and the one stream of a track file, once its points are read:
// positions come from `stream`, and an error for a file without any names `wanted` (the
// stream, when null).
void DescribeTrack(RecordedFlight* flight, const char* format, const char* stream, const char* clock, const char* wanted = nullptr);
