#pragma once
#include <string>

#include "batch/CommandReport.h"
#include "cli/CommandLine.h"

// flightreplay-data, in two programs. The commands that need neither GDAL, the scene graph
// nor cairo (track, and check without --plot) run in `flightreplay-data` itself, which links
// none of them: a conversion then starts in a millisecond instead of loading some 140
// shared libraries, which for a fleet converting thousands of logs is most of the bill. It
// hands every other command, unchanged, to the full tool beside it (FullDataToolPath).

// Exit status of the data tool for a command line it does not understand, and for a full
// tool that cannot be started.
const int DataToolUsage = ExitUsage;

// Whether `word` names one of the commands: plan, dem, imagery, fetch, world, track, check,
// sync, subtitles, export.
bool IsDataCommand(const char* word);

// The tool's command line without a command (argv[1] is none of them): the overview of the
// commands with --help (status 0), else a usage error (DataToolUsage).
int RunDataToolOverview(int argc, char** argv);

// How a command's help and usage line name it: "PROGRAM COMMAND".
std::string DataCommandName(const char* program, const char* command);

// The end of a command whose command line did not parse (cli/CommandLine.h): 0 after its
// help; after a usage error DataToolUsage, with the JSON object when --json is on the line.
int EndOfCommandLine(const char* command, const CommandLineOutcome& outcome, int argc, char** argv);

struct LoadedFlight;
// A keyword log, or a flight file of any format `track` reads, converted in memory as the
// player converts it; every row, whatever sample numbers it has. False with *why.
bool LoadAnyFlight(const std::string& path, LoadedFlight* flight, std::string* why);

// The most downloads a run of fetch or world may be allowed (--max-tiles).
const int MostTilesARun = 1000000;

// The full tool: plan, dem, imagery, fetch, world, track, check, sync, subtitles and export (see the usage text). argv[0] is the
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
