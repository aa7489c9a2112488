#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Fetching what a replay's world lacks: the elevation and imagery tiles missing along the
// whole flight of a log (the plan's corridor, the replay's own tiles first) come from a
// persistent cache, else from the network, and are then imported into the log's folder as
// `dem` and `imagery` import a user's own data.

// Exit status of a fetch that failed on the network (a server unreachable, an answer other
// than data or "not there", a download cut off): EX_TEMPFAIL, worth trying again later.
const int FetchNetworkFailure = 75;

// The default sources. {tile} names a 1 x 1 degree square by its south-west corner.
const char* const DefaultDemUrl = "https://copernicus-dem-30m.s3.amazonaws.com/{tile}/{tile}.tif";
const char* const DefaultImageryUrl = "https://tiles.maps.eox.at/wmts/1.0.0/s2cloudless-2020_3857/default/g/{z}/{y}/{x}.jpg";
const int DefaultImageryMaxZoom = 14;
const int DefaultMaxTiles = 500;

struct FetchOptions
{
    std::string cacheFolder;   // where fetched files are kept, never evicted
    std::string demUrl = DefaultDemUrl;         // "none": no elevation fetching
    std::string imageryUrl = DefaultImageryUrl; // {z}, {x}, {y}; "none": no imagery fetching
    int imageryMaxZoom = DefaultImageryMaxZoom; // finer replay levels are cut from this zoom
    int maxTiles = DefaultMaxTiles;             // downloads in one run: the replay's own first, then the corridor's
    bool offline = false;      // cache only: list what is missing, import what is there
    bool dryRun = false;       // list what would be downloaded, download and import nothing
    double requestInterval = 0.2; // seconds between the starts of two requests
};

// The options from the environment: FLIGHTREPLAY_CACHE (else $XDG_CACHE_HOME/flightreplay,
// else ~/.cache/flightreplay), FLIGHTREPLAY_DEM_URL, FLIGHTREPLAY_IMAGERY_URL and
// FLIGHTREPLAY_IMAGERY_MAXZOOM. False, after a line on stderr, when one is malformed.
bool FetchOptionsFromEnvironment(FetchOptions* options);

// --max-tiles COUNT of the command named `command` into options->maxTiles: a count from 0 to
// 1000000; false after a line on stderr otherwise.
bool ParseMaxTiles(const char* command, const char* text, FetchOptions* options);

// The 1 x 1 degree elevation square whose south-west corner is (latitude, longitude) in
// whole degrees, as the default source names it: Copernicus_DSM_COG_10_N46_00_E007_00_DEM.
std::string DemSquareName(int latitude, int longitude);

// Fetches what the flight of the log lacks and imports it into the log's folder, where the
// attribution of every source used is written to ATTRIBUTION.txt. When more downloads are
// needed than maxTiles, a run makes the first maxTiles of them, the replay's own first, then
// the corridor's coarsest level first, says so before it starts, and imports what the cache
// then holds; the next run goes on. Returns the exit status: 0 done (also offline with data
// missing, which is listed: the replay draws grass there, and also when the limit left
// downloads of the corridor for later), 1 a source refused (forbidden host, more downloads
// for the replay's own tiles than the limit) or an import failing, 2 a bad option,
// FetchNetworkFailure when a download failed (nothing is then imported), or the replay's
// negative status for a log it cannot use.
int FetchMissing(const std::string& logPath, const FetchOptions& options);

// The same for several logs replayed in one folder (the first one's): their corridors as one
// (MergeCorridorPlans), each tile fetched and imported once. maxTiles is the run's, shared by
// them all: the replay's own tiles of every log first, then the corridors' coarsest level
// first, across the flights.
int FetchMissing(const std::vector<std::string>& logPaths, const FetchOptions& options);
