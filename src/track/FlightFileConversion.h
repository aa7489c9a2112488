#pragma once
#include <string>

#include "track/FlightConversion.h"
#include "track/FlightFormats.h"
#include "track/RecordedFlight.h"

// A flight file of any format read and turned into rows of the keyword log: what `track`
// does with it, shared by the programs that take a flight file in place of a log.

struct FlightFileConversion
{
    const FlightFormat* format = nullptr; // the format the file's content shows; null for none
    bool read = false;                    // the format's reader read the file: `flight` holds it
    RecordedFlight flight;
    ConversionSettings settings; // the format's, at the rate asked for
    ConvertedFlight converted;
};

// Reads the file at `path` in the format its content shows and converts it with the
// format's settings, at `rate` rows a second when that is positive. False, with the one-line
// reason in `message` (no program's prefix), when the file cannot be read, holds no position
// it can use, or makes no rows; `conversion` then holds what was done so far.
bool ConvertFlightFile(const std::string& path, double rate, FlightFileConversion* conversion, std::string* message);

// The line, ending in "\n", that `track` puts on stderr before the log when an autopilot's
// log records no attitude; "" otherwise.
std::string DerivedAttitudeNote(const std::string& path, const FlightFileConversion& conversion);

// The lines, each ending in "\n", that `track` puts on stderr after the log: the summary
// (ConversionSummary), then, when they apply, what the plan's reader left out (PlanNotes),
// the count of samples the replay skips near the equator or the prime meridian and the
// note on sample numbers beyond the table's reach.
std::string ConversionNotes(const std::string& path, const FlightFileConversion& conversion);
