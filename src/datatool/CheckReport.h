#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "check/FlightCheck.h"
#include "check/PlanCheck.h"
#include "check/TrafficCheck.h"

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

// The flight against its plan, beside the check of its faults: given to the report when
// the flight has a plan.
struct PlanFindings
{
    const FlightPlan& plan;
    const PlanCheckReport& report;
};

// Lines a section of the plan's findings prints (waypoints, breaches, airspace events); the
// rest are counted.
const size_t PlanLinesPerSection = 100;

// Prints the report of a check of rows[0 .. report.samples.size()-1] read from `logName`:
// what was read, the height above the terrain, take-off and landing, every fault kind
// with at most StretchLinesPerKind stretches (sample numbers, duration, worst value) and a
// count of the rest, with a plan the sections of its findings, with `traffic` the other
// aircraft's closest approaches, then `sections` (lines of other findings, as they are), and
// last the verdict line.
void PrintCheckReport(FILE* out, const std::string& logName, const SampleRow* rows, const FlightCheckReport& report, const FlightCheckLimits& limits,
                      const PlanFindings* plan = nullptr, const std::vector<TrafficApproach>* traffic = nullptr, const std::string& sections = "");

// The sections of the plan's findings alone (mission, cross-track, fence, airspace, task).
void PrintPlanFindings(FILE* out, const SampleRow* rows, const PlanFindings& plan);

// The same facts as one JSON object, for --json's "plan".
std::string PlanFindingsJson(const SampleRow* rows, const PlanFindings& plan);

// "waypoint", "takeoff", "loiter turns", ... a mission command's name; "command N" for the others.
std::string MissionCommandName(int32_t command);
