#pragma once
#include <string>
#include <vector>

#include "world/TilePlan.h"

// The world command: a folder the replay runs in for one flight file, made once and reused.
// It holds the converted log (<stem>.log), the elevation tiles and imagery along the whole
// flight imported from the rasters given, and the project's own sky, grass and aircraft. Its path is the last line
// on stdout.

// Exit status for a file that is a keyword log already: there is nothing to convert, and
// the replay reads it where it lies.
const int WorldGivenKeywordLog = 3;

// The folder a flight's world lives in without --out: $XDG_DATA_HOME/flightreplay/worlds/
// <stem> (XDG_DATA_HOME, when unset, empty or not absolute, is ~/.local/share). Empty when neither
// XDG_DATA_HOME nor HOME is set.
std::string DefaultWorldFolder(const std::string& flightPath);

// What the world still lacks along the whole flight after the imports and the fetch: one
// line per kind of tile missing on stderr, with `why` (offline, the fetch failed, ...) and
// what is drawn there.
void ReportMissingTiles(const CorridorPlan& plan, const char* why);

// flightreplay-data world FLIGHT [--out DIR] [--offline] [--dem RASTER]... [--imagery
// RASTER]... (argv[1] is "world"). What is missing after the imports is fetched (cache, then
// network, unless --offline; world/TileFetch.h). Returns 0 when the folder is ready (missing
// tiles are drawn as grass and flat ground), 1 when the flight cannot be converted or a file
// cannot be written or imported, WorldGivenKeywordLog, or DataToolUsage; when the fetch was
// refused (1) or failed on the network (FetchNetworkFailure), the folder is still made and
// printed, and the fetch's status is returned.
int RunWorldCommand(int argc, char** argv);
