#pragma once
#include <string>

#include "check/FlightCheck.h"

struct SampleRow;
struct PlanFindings;

// Writes one line per checked row to `path` (through a temporary name): sample, time in
// seconds, latitude and longitude in degrees, altitude, terrain and height above it in
// metres, ground speed and climb in m/s, then one 0/1 column per fault kind. With a plan,
// four columns more: the seq the active leg leads to, the cross-track error on it and the
// fence margin in metres, and the airspaces the fix is inside (names joined by "; "). Cells
// that were not measured (no ground drawn, no previous fix, no leg) are empty. False when it
// cannot write.
bool WriteCheckCsv(const std::string& path, const SampleRow* rows, const FlightCheckReport& report, const PlanFindings* plan = nullptr);
