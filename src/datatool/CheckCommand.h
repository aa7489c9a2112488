#pragma once
#include <string>

#include "batch/CommandReport.h"

// Exit statuses of `check`, by the verdict (FlightVerdict): clean, warnings, and unusable,
// which is bad input. A command line it does not understand is a usage error, a file it
// cannot write a transient failure or bad input by the cause (WriteFailureStatus).
const int CheckClean = ExitDone;
const int CheckWarnings = ExitWarnings;
const int CheckUnusable = ExitBadInput;

// Draws the plot of a checked flight (CheckPlot.h's WriteCheckPlot, in the full tool).
struct SampleRow;
struct FlightCheckReport;
using CheckPlotWriter = bool (*)(const std::string& path, const std::string& title, const SampleRow* rows, const FlightCheckReport& report);

// flightreplay-data check LOG [--samples LIST] [--max-speed M/S] [--csv FILE] [--plot FILE.png]
// [--plan FILE] [--airspace FILE] [--json] [--skip-existing]
// Reads the log as the replay does (the same scanner and --samples selection; the replay's
// transcript of column kinds and statistics is not printed, what the scanner echoes is),
// but every row of it, with no table's bound: without --samples every sample number. Fixes
// the map frame on the flight as the replay does, checks it against the elevation
// tiles in the working directory and prints the report; with a plan (the flight's own, or
// --plan and --airspace) its findings too, which leave the verdict and the status as they are. argv[1] is "check". `writePlot`
// draws --plot; without one (the light front, which has no cairo) --plot is refused.
int RunCheck(int argc, char** argv, CheckPlotWriter writePlot);
