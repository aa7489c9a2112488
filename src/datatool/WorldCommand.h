#pragma once
#include <string>
#include <vector>

#include "world/TilePlan.h"

// The world command: a folder the replay runs in for one flight file, made once and reused.
// It holds the converted log (<stem>.log), the elevation tiles and imagery imported from the
// rasters given, and the project's own sky, grass and aircraft. Its path is the last line
// on stdout.

// Exit status for a file that is a keyword log already: there is nothing to convert, and
// the replay reads it where it lies.
const int WorldGivenKeywordLog = 3;

// The folder a flight's world lives in without --out: $XDG_DATA_HOME/flightreplay/worlds/
// <stem> (XDG_DATA_HOME, when unset or empty, is ~/.local/share). Empty when neither
// XDG_DATA_HOME nor HOME is set.
std::string DefaultWorldFolder(const std::string& flightPath);

// What the world still lacks after the imports, and where it would come from. Without
// `offline`, this is where the missing tiles are to be fetched from the network; no fetcher
// is linked in yet, so it only counts them. Prints one line per kind of tile missing on
// stderr, with what the replay draws there.
void FetchMissingTiles(const std::vector<PlannedFile>& plan, bool offline);

// flightreplay-data world FLIGHT [--out DIR] [--offline] [--dem RASTER]... [--imagery
// RASTER]... (argv[1] is "world"). Returns 0 when the folder is ready (missing tiles are
// drawn as grass and flat ground), 1 when the flight cannot be converted or a file cannot
// be written or imported, WorldGivenKeywordLog, or DataToolUsage.
int RunWorldCommand(int argc, char** argv);
