#pragma once
#include <string>

#include "check/FlightCheck.h"

struct SampleRow;

// Writes one line per checked row to `path` (through a temporary name): sample, time in
// seconds, latitude and longitude in degrees, altitude, terrain and height above it in
// metres, ground speed and climb in m/s, then one 0/1 column per fault kind. Cells that
// were not measured (no ground drawn, no previous fix) are empty. False when it cannot
// write.
bool WriteCheckCsv(const std::string& path, const SampleRow* rows, const FlightCheckReport& report);
