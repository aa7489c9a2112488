#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/LogWriter.h"
#include "log/SampleRow.h"

struct FlightState;

// Fixed facts of the demo flight that every row repeats.
const int32_t DemoFlightNumber = 7;
const int32_t DemoDate = 140626;        // ddmmyy, as the GPS reports it
const double DemoStartTime = 54200.4;   // seconds of the day (15:03:20.4 UTC)

// The log rows of a flight: sample numbers from 1, gps_time from DemoStartTime at
// `sampleRate` rows per second, positions in minutes of arc, heading, roll and pitch in
// the viewer's conventions (log/LogAttitude.h), the other columns in the units their
// keywords suggest (volts, amperes, mAh, m/s, metres, degrees Celsius, microseconds).
std::vector<SampleRow> FlightLogRows(const std::vector<FlightState>& states, double sampleRate);

// The demo log's columns: all 41 in keyword order, with the digits each deserves:
// millimetres in position (six decimals of a minute of arc are 2 mm), centimetres in height
// and speed, a tenth of a milliradian in angles, millivolts, whole microseconds of pulse.
extern const std::vector<LogColumn> DemoLogColumns;

// Writes the header and the rows to `path`. Returns false when it cannot.
bool WriteFlightLog(const std::string& path, const std::vector<SampleRow>& rows);
