#pragma once
#include <string>
#include <vector>

#include "batch/CommandReport.h"
#include "world/TilePlan.h"

// The world command: a folder the replay runs in for one flight file or several, made once
// and reused. It holds the converted logs (<stem>.log each, WorldLogNames), the elevation
// tiles and imagery along every whole flight imported from the rasters given, and the
// project's own sky, grass and aircraft. Its path is the last line on stdout.

// Exit status for a file that is a keyword log already: there is nothing to convert, and
// the replay reads it where it lies.
const int WorldGivenKeywordLog = 3;

// The stamp a run of `world` leaves in the folder when it ended well: done, and nothing left
// for a later run by the download limit. It holds "offline" or "fetched", the way the run
// went; --skip-existing skips only a world with a stamp newer than its flights, and one made
// offline only when asked for offline again, so that a run the network or a signal cut
// short is taken up again, never skipped.
const char* const WorldDoneStamp = ".world-done";

// Flights one world takes, as many as the player shows at once.
const size_t MaxWorldFlights = 16;

// The folder a world lives in without --out: $XDG_DATA_HOME/flightreplay/worlds/<stem> for
// one flight, <stem>+<flights - 1> named after the first of several (XDG_DATA_HOME, when
// unset, empty or not absolute, is ~/.local/share). Empty when neither XDG_DATA_HOME nor HOME
// is set.
std::string DefaultWorldFolder(const std::string& flightPath, size_t flights = 1);

// The names of the logs the flights (absolute paths) are converted into in the folder
// (absolute), in their order: <stem>.log; <stem>.replay.log when that is the flight itself;
// <stem>-2.log, <stem>-3.log ... when an earlier flight of the same stem has the name or it
// is one of the flights given, so that no log is written over another or over a flight.
std::vector<std::string> WorldLogNames(const std::string& folder, const std::vector<std::string>& flights);

// What the world still lacks along the whole flights after the imports and the fetch: one
// line per kind of tile missing on stderr, with why for each kind (offline, the fetch failed,
// the download limit, ...) and what is drawn there; `along` names the flights ("the flight").
// Counted in `report` too.
void ReportMissingTiles(const CorridorPlan& plan, const char* elevationWhy, const char* imageryWhy, const char* along = "the flight", CommandReport* report = nullptr);

// flightreplay-data world FLIGHT [FLIGHT...] [--out DIR] [--offline] [--max-tiles N] [--dem RASTER]...
// [--imagery RASTER]... [--json] [--skip-existing] (argv[1] is "world"), up to MaxWorldFlights
// flights. What is missing after the imports is fetched (cache, then network, unless
// --offline; world/TileFetch.h), along all the flights in one run. --skip-existing does
// nothing when every log is newer than its flight and the last run ended well
// (WorldDoneStamp). Returns 0 when the folder is ready (missing
// tiles are drawn as grass and flat ground); bad input when a flight cannot be converted or a
// raster imported; a transient failure or bad input by the cause when a file cannot be
// written; WorldGivenKeywordLog when any flight is a keyword log; DataToolUsage. When the
// fetch was refused (bad input) or failed on the network (transient), the folder is still
// made and printed, with that status.
int RunWorldCommand(int argc, char** argv);
