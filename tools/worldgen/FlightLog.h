#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/SampleTable.h"

struct FlightState;

const int32_t LogColumnCount = 41;

// The 41 column keywords in the order of their column-kind codes 1 .. 41.
extern const char* const LogKeywords[LogColumnCount];

// Fixed facts of the demo flight that every row repeats.
const int32_t DemoFlightNumber = 7;
const int32_t DemoDate = 140626;        // ddmmyy, as the GPS reports it
const double DemoStartTime = 54200.4;   // seconds of the day (15:03:20.4 UTC)

// The log rows of a flight: sample numbers from 1, gps_time from DemoStartTime at
// `sampleRate` rows per second, positions in minutes of arc, heading, roll and pitch in
// the viewer's conventions (AttitudeConvention.h), the other columns in the units their
// keywords suggest (volts, amperes, mAh, m/s, metres, degrees Celsius, microseconds).
std::vector<SampleRow> FlightLogRows(const std::vector<FlightState>& states, double sampleRate);

// One row as the text of a log line: 41 plain decimal numbers (no exponent, no plus
// sign), comma separated, ending in "\n".
std::string FormatLogRow(const SampleRow& row);

// The keyword line: all 41 keywords, comma separated, ending in "\n".
std::string LogHeaderLine();

// Writes the header and the rows to `path`. Returns false when it cannot.
bool WriteFlightLog(const std::string& path, const std::vector<SampleRow>& rows);
