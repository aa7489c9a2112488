#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RecordedFlight.h"

// What the track readers (GPX, IGC, CSV) share: the calendar, and the tally of the points
// they read but leave out.

const double SecondsPerDay = 86400.0;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's civil-days rule).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);

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

// The line (from 1) on which the byte at `offset` of the file stands; 0 when the file cannot
// be read. It reads the file up to there, so it is for the few lines a message names.
size_t LineInFile(const std::string& path, size_t offset);
