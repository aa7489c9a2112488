#pragma once
#include <cstdio>

#include "batch/CommandReport.h"

// flightreplay-data, in two programs. The commands that need neither GDAL, the scene graph
// nor cairo (track, and check without --plot) run in `flightreplay-data` itself, which links
// none of them: a conversion then starts in a millisecond instead of loading some 140
// shared libraries, which for a fleet converting thousands of logs is most of the bill. It
// hands every other command, unchanged, to the full tool beside it (FullDataToolPath).

// Exit status of the data tool for a command line it does not understand, and for a full
// tool that cannot be started.
const int DataToolUsage = ExitUsage;

// The usage text naming `program`: on stdout when asked for with --help, else on stderr.
void PrintDataToolUsage(const char* program, FILE* stream);

// The full tool: plan, dem, imagery, fetch, world, track and check (see the usage text). argv[0] is the
// program name. Returns the process exit status.
int RunDataTool(int argc, char** argv);

// The light front: runs the commands it links and hands the others to the full tool with
// the same arguments (argv[0] included, so that its messages name the program the user
// ran). Returns the process exit status; returns only when it ran the command itself or
// could not start the full tool.
int RunLightDataTool(int argc, char** argv);

// Where the front finds the full tool: libexec/flightreplay-data-full beside its own
// executable.
const char* const FullDataToolPath = "libexec/flightreplay-data-full";
