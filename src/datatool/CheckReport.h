#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "check/FlightCheck.h"

struct SampleRow;

// Lines of stretches the report prints per fault kind; the rest are counted.
const int32_t StretchLinesPerKind = 20;

// The report's heading of a kind, with its threshold ("gaps in time over 3 median steps
// (0.600 s)"), and its column in the CSV ("time_gap").
std::string FaultKindHeading(FaultKind kind, const FlightCheckLimits& limits, double medianStep);
const char* FaultKindColumn(FaultKind kind);

// Short name for a legend ("time gap").
const char* FaultKindLabel(FaultKind kind);

// How many stretches and kinds have faults.
struct FaultCount
{
    int32_t stretches = 0;
    int32_t kinds = 0;
};
FaultCount CountFaults(const FlightCheckReport& report);

// The verdict in words: "clean", "4 warnings in 3 kinds", "unusable: no valid position".
std::string VerdictText(const FlightCheckReport& report);

// Prints the report of a check of rows[0 .. report.samples.size()-1] read from `logName`:
// what was read, the height above the terrain, take-off and landing, every fault kind
// with at most StretchLinesPerKind stretches (sample numbers, duration, worst value) and a
// count of the rest, and last the verdict line.
void PrintCheckReport(FILE* out, const std::string& logName, const SampleRow* rows, const FlightCheckReport& report, const FlightCheckLimits& limits);
