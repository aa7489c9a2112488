#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "geo/GeoTiles.h"

struct CorridorPlan;
struct FlightTiles;

// Fetching what a replay's world lacks: the elevation and imagery tiles a FetchPlan names
// (the corridor of the flights a caller loaded, the replay's own tiles first) come from a
// persistent cache (TileCache.h), else from the remote sources (TileSources.h), and are then
// imported into the plan's folder as `dem` and `imagery` import a user's own data.

// Exit status of a fetch that failed on the network (a server unreachable, an answer other
// than data or "not there", a download cut off): EX_TEMPFAIL, worth trying again later.
const int FetchNetworkFailure = 75; // ExitTransient

// The default sources. {tile} names a 1 x 1 degree square by its south-west corner.
const char* const DefaultDemUrl = "https://copernicus-dem-30m.s3.amazonaws.com/{tile}/{tile}.tif";
const char* const DefaultImageryUrl = "https://tiles.maps.eox.at/wmts/1.0.0/s2cloudless-2020_3857/default/g/{z}/{y}/{x}.jpg";
const int DefaultImageryMaxZoom = 14;
// Downloads a run makes at most: enough for the corridor of a cross-country flight of 500 km
// (some 3300 to 5300 downloads; at 5 a second up to 20 minutes), a guard against a whole
// continent asked for by mistake.
const int DefaultMaxTiles = 6000;

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

// The 1 x 1 degree elevation square whose south-west corner is (latitude, longitude) in
// whole degrees, as the default source names it: Copernicus_DSM_COG_10_N46_00_E007_00_DEM.
std::string DemSquareName(int latitude, int longitude);

// What a fetch did, for a command's report.
struct FetchSummary
{
    size_t elevationTiles = 0; // the replay's tiles wanted
    size_t imageryTiles = 0;
    size_t downloads = 0;  // files of the sources that those tiles need and the cache lacked
    size_t cached = 0;     // files of the sources already in the cache
    size_t downloaded = 0; // data put in the cache by this run
    size_t notInSource = 0; // answered "not there" (404) to this run: a square of sea, a tile the source lacks
    size_t missing = 0;    // neither in the cache nor known to be absent after this run
    size_t leftByLimit = 0; // of those, left for a later run by maxTiles
    std::vector<std::string> written; // the files put in the cache, then those imported
    std::string message;   // why the fetch failed, when it did
};

// The tiles a fetch takes, in the order it takes them: the replay's own first (the first
// ringElevation and ringImagery), then the rest, imagery coarsest level first, so that a run
// the limit cuts short leaves ground everywhere before the detail.
struct FetchPlan
{
    std::vector<ElevationTileId> elevation;
    size_t ringElevation = 0;
    std::vector<ImageryTileId> imagery;
    size_t ringImagery = 0;
    std::string along;  // what they lie along, for the lines: "the whole flight", "the 3 flights", "the box ..."
    std::string folder; // where they are imported; empty: the cache is filled, nothing imported
};

// What a corridor (TilePlan.h: one flight's, or several merged) lacks, to import into `folder`.
FetchPlan PlanFetch(const CorridorPlan& corridor, const std::string& folder, const std::string& along);
// Every tile of the flights' corridors, whatever a folder holds, or of the replay's levels
// over the box: the cache alone is filled.
FetchPlan PlanCacheFill(const std::vector<FlightTiles>& flights);
FetchPlan PlanCacheFill(const GeoBox& box);
// "the whole flight", or "the N flights".
std::string FlightsAlong(size_t flights);

// Fetches the plan's tiles from the cache, else the network, and imports them into the plan's
// folder, where the attribution of every source used is written to ATTRIBUTION.txt. When
// more downloads are needed than maxTiles, a run makes the first maxTiles of them in the
// plan's order, says so before it starts, and imports what the cache then holds; the next run
// goes on. Every line it prints goes to stderr. Returns the exit status
// (batch/CommandReport.h): ExitDone (also offline with data missing, which is listed: the
// replay draws grass there, and also when the limit left downloads of the corridor for
// later), ExitBadInput when a source refused (forbidden host, more downloads for the replay's
// own tiles than the limit), an import failed or the cache cannot be written
// (FLIGHTREPLAY_CACHE read-only without --offline), ExitTransient when a download failed or
// the disk is full (nothing is then imported). Offline, nothing is written in the cache: it
// may be read-only and shared. Without a folder, the same fills the cache alone.
int FetchMissing(const FetchPlan& plan, const FetchOptions& options, FetchSummary* summary = nullptr);

// The same for the flight of the log, loaded once (a flight file of any format `track`
// reads, converted in memory), its corridor judged in the log's folder and imported there;
// or the replay's negative status for a log it cannot use.
int FetchMissing(const std::string& logPath, const FetchOptions& options, FetchSummary* summary = nullptr);

// Fills the cache for a whole site in advance, importing nothing anywhere: the sources of
// every tile the replay reads over the box, coarsest level first, or of the corridors of the
// flights of the keyword logs (their tiles whatever a folder holds), each loaded once.
int FetchArea(const GeoBox& box, const FetchOptions& options, FetchSummary* summary = nullptr);
int FetchArea(const std::vector<std::string>& logPaths, const FetchOptions& options, FetchSummary* summary = nullptr);
