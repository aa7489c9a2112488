#include "world/TileFetch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include <gdal_priv.h>

#include "batch/CommandReport.h"
#include "flight/LoadedFlight.h"
#include "geo/GeoTiles.h"
#include "geo/ReplayFiles.h"
#include "terrain/FlightCorridor.h"
#include "world/DemImport.h"
#include "world/HttpClient.h"
#include "world/ImageryImport.h"
#include "world/RemoteRaster.h"
#include "world/TileCache.h"
#include "world/TileFiles.h"
#include "world/TilePlan.h"
#include "world/TileSources.h"

namespace fs = std::filesystem;

static const char* const UserAgent = "flightreplay/" FLIGHTREPLAY_VERSION " (terrain and imagery for flight replays)";

// Attribution the default sources' terms require wherever their data are shown.
static const char* const DefaultDemAttribution = "Elevation: Copernicus GLO-30 DEM, (c) DLR e.V. 2010-2014 and (c) Airbus Defence and Space GmbH 2014-2018 provided under COPERNICUS by the European Union and ESA";
static const char* const DefaultImageryAttribution = "Imagery: EOxCloudless https://cloudless.eox.at by EOX IT Services GmbH (Contains modified Copernicus Sentinel data 2020), CC BY-NC-SA 4.0";

bool FetchOptionsFromEnvironment(FetchOptions* options)
{
    if (const char* cache = getenv("FLIGHTREPLAY_CACHE"); cache && *cache)
        options->cacheFolder = cache;
    else if (const std::string cache = UserFolder("XDG_CACHE_HOME", ".cache"); !cache.empty())
        options->cacheFolder = cache + "/flightreplay";
    else
    {
        fprintf(stderr, "fetch: no cache folder: set FLIGHTREPLAY_CACHE, XDG_CACHE_HOME or HOME\n");
        return false;
    }
    if (const char* url = getenv("FLIGHTREPLAY_DEM_URL"); url && *url)
        options->demUrl = url;
    if (const char* url = getenv("FLIGHTREPLAY_IMAGERY_URL"); url && *url)
        options->imageryUrl = url;
    if (const char* zoom = getenv("FLIGHTREPLAY_IMAGERY_MAXZOOM"); zoom && *zoom)
    {
        char* end = nullptr;
        const long value = strtol(zoom, &end, 10);
        if (*end || value < 0 || value > FinestLevel)
        {
            fprintf(stderr, "fetch: FLIGHTREPLAY_IMAGERY_MAXZOOM '%s' is no zoom level from 0 to %d\n", zoom, FinestLevel);
            return false;
        }
        options->imageryMaxZoom = static_cast<int>(value);
    }
    if (options->imageryUrl != "none")
        for (const char* field : {"{z}", "{x}", "{y}"})
            if (options->imageryUrl.find(field) == std::string::npos)
            {
                fprintf(stderr, "fetch: FLIGHTREPLAY_IMAGERY_URL '%s' lacks %s\n", options->imageryUrl.c_str(), field);
                return false;
            }
    return true;
}

namespace
{

// Adds the lines to ATTRIBUTION.txt in the folder, each once.
void WriteAttribution(const std::string& folder, const std::vector<std::string>& lines)
{
    const std::string path = (fs::path(folder) / AttributionFile).string();
    std::vector<std::string> all;
    std::ifstream existing(path);
    for (std::string line; std::getline(existing, line);)
        all.push_back(line);
    for (const std::string& line : lines)
        if (std::find(all.begin(), all.end(), line) == all.end())
            all.push_back(line);
    std::string text;
    for (const std::string& line : all)
        text += line + "\n";
    if (!WriteFileAtomically(path, text.data(), text.size()))
        fprintf(stderr, "fetch: cannot write %s\n", AttributionFile);
}

// The corridor's tiles that are not there, or all of them (`all`: for the cache alone).
FetchPlan WantsOfCorridor(const CorridorPlan& corridor, bool all)
{
    FetchPlan wants;
    for (size_t i = 0; i < corridor.elevation.size(); ++i)
        if (all || !corridor.elevationPresent[i])
        {
            wants.elevation.push_back(corridor.elevation[i]);
            wants.ringElevation += i < corridor.ringElevation ? 1 : 0;
        }
    for (size_t i = 0; i < corridor.ringImagery; ++i)
        if (all || !corridor.imageryPresent[i])
            wants.imagery.push_back(corridor.imagery[i]);
    wants.ringImagery = wants.imagery.size();
    for (int32_t level = CoarsestLevel; level <= FinestLevel; ++level)
        for (size_t i = corridor.ringImagery; i < corridor.imagery.size(); ++i)
            if ((all || !corridor.imageryPresent[i]) && corridor.imagery[i].level == level)
                wants.imagery.push_back(corridor.imagery[i]);
    return wants;
}

// The end of a run a stop signal cut short: what it had begun is gone (every file is renamed
// into place whole, or removed), and nothing more is asked or imported.
int Interrupted(FetchSummary* summary, const char* unfinished)
{
    EndProgress();
    summary->message = "interrupted by signal " + std::to_string(StopSignal()) + unfinished;
    fprintf(stderr, "fetch: %s\n", summary->message.c_str());
    return ExitInterrupted;
}

// The failure's status, after its line on stderr and in the summary.
int Failed(FetchSummary* summary, CommandStatus status, const std::string& message)
{
    EndProgress();
    fprintf(stderr, "fetch: %s\n", message.c_str());
    summary->message = message;
    return ExitStatusOf(status);
}

// Seconds as a person reads them: "42 s", "6 min 23 s", "1 h 05 min".
std::string Duration(double seconds)
{
    const long whole = std::lround(seconds);
    char text[32];
    if (whole < 60)
        snprintf(text, sizeof text, "%ld s", whole);
    else if (whole < 3600)
        snprintf(text, sizeof text, "%ld min %ld s", whole / 60, whole % 60);
    else
        snprintf(text, sizeof text, "%ld h %02ld min", whole / 3600, whole / 60 % 60);
    return text;
}

// The downloads done so far on the terminal's progress line, four times a second at most.
class DownloadProgress
{
public:
    DownloadProgress(size_t total, const HttpClient& http) : total(total), http(http), start(std::chrono::steady_clock::now()) {}
    ~DownloadProgress() { EndProgress(); }

    void Done(size_t done)
    {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (done == 1)
            first = seconds;
        if (done < total && shown >= 0 && seconds - shown < 0.25)
            return;
        shown = seconds;
        char text[160];
        int length = snprintf(text, sizeof text, "fetch: %zu of %zu downloads, %.1f MB", done, total, http.BytesReceived() / 1e6);
        // The rate from the first download on: the first is not paced, and would make it a
        // hundred a second.
        if (done >= 2 && seconds > first)
        {
            const double rate = (done - 1) / (seconds - first);
            snprintf(text + length, sizeof text - length, ", %.1f a second, %s left", rate, done == total ? "nothing" : Duration((total - done) / rate).c_str());
        }
        ShowProgress(text);
    }

private:
    size_t total;
    const HttpClient& http;
    std::chrono::steady_clock::time_point start;
    double first = 0;  // seconds from the start to the first download's end
    double shown = -1; // and to the last line shown
};


// The remote sources a run fetches from, null where a kind is turned off ("none").
struct Sources
{
    std::unique_ptr<RemoteElevation> elevation;
    std::unique_ptr<RemoteImagery> imagery;
};

// One download: a file of one of the sources.
struct Download
{
    RemoteSource* source;
    const SourceFile* file;
};

// The source files a plan needs, each once, in the order first needed: the first ringWindows
// and ringTiles serve the rings.
struct SourceFiles
{
    std::vector<SourceFile> windows;
    std::vector<ElevationTileId> windowTiles; // the tile each window is of
    size_t ringWindows = 0;
    std::vector<SourceFile> tiles;
    size_t ringTiles = 0;
};

SourceFiles FilesOfPlan(const FetchPlan& wants, const Sources& sources)
{
    SourceFiles files;
    if (sources.elevation)
        for (size_t i = 0; i < wants.elevation.size(); ++i)
        {
            for (SourceFile& window : sources.elevation->FilesOf(wants.elevation[i]))
            {
                files.windows.push_back(std::move(window));
                files.windowTiles.push_back(wants.elevation[i]);
            }
            if (i + 1 == wants.ringElevation)
                files.ringWindows = files.windows.size();
        }
    std::set<std::string> urls;
    if (sources.imagery)
        for (size_t i = 0; i < wants.imagery.size(); ++i)
        {
            SourceFile file = sources.imagery->FileOf(wants.imagery[i]);
            if (urls.insert(file.url).second)
                files.tiles.push_back(std::move(file));
            if (i + 1 == wants.ringImagery)
                files.ringTiles = files.tiles.size();
        }
    return files;
}

// The files the cache lacks in the order they are downloaded: the rings' elevation and
// imagery, then the corridor's; *ringDownloads of them the rings'.
std::vector<Download> MissingFiles(const SourceFiles& files, const Sources& sources, size_t* ringDownloads)
{
    std::vector<Download> missing;
    for (int part = 0; part < 2; ++part)
    {
        for (size_t i = part == 0 ? 0 : files.ringWindows; i < (part == 0 ? files.ringWindows : files.windows.size()); ++i)
            if (!TileCache::Holds(files.windows[i]))
                missing.push_back(Download{sources.elevation.get(), &files.windows[i]});
        for (size_t i = part == 0 ? 0 : files.ringTiles; i < (part == 0 ? files.ringTiles : files.tiles.size()); ++i)
            if (!TileCache::Holds(files.tiles[i]))
                missing.push_back(Download{sources.imagery.get(), &files.tiles[i]});
        if (part == 0)
            *ringDownloads = missing.size();
    }
    return missing;
}

// The downloads a dry run would make, or offline the rings' the cache lacks, one a line,
// and how many more there are; the bytes of those listed, roughly.
double ListDownloads(const std::vector<Download>& downloads, size_t listed, bool offline)
{
    double bytes = 0;
    for (size_t i = 0; i < listed; ++i)
    {
        fprintf(stderr, "%s %s\n", offline ? "missing" : "would fetch", downloads[i].source->Describe(*downloads[i].file).c_str());
        bytes += downloads[i].source->BytesEstimate(*downloads[i].file);
    }
    if (listed < downloads.size())
        fprintf(stderr, "%s %zu more downloads\n", offline ? "missing" : "left for later runs:", downloads.size() - listed);
    return bytes;
}

// Makes the downloads, one after the other, counting them in the summary: ExitDone, or the
// status of the first that failed or of a stop signal, after its line.
int DownloadAll(const std::vector<Download>& downloads, const Sources& sources, const TileCache& cache, const FetchOptions& options, const char* nothing, FetchSummary* summary)
{
    HttpManners manners;
    manners.userAgent = UserAgent;
    manners.minimumInterval = options.requestInterval;
    HttpClient http(manners);
    RemoteRasters rasters(http);
    Network network{http, rasters};
    int windowsRead = 0, seaSquares = 0, absentTiles = 0;
    DownloadProgress progress(downloads.size(), http);
    const size_t needed = summary->missing;
    for (const Download& download : downloads)
    {
        if (StopSignal())
            return Interrupted(summary, nothing);
        const SourceFile& file = *download.file;
        cache.MakeFolderFor(file);
        std::string reason;
        const Outcome outcome = download.source->Download(file, network, &reason);
        if (StopSignal())
            return Interrupted(summary, nothing);
        if (outcome == Outcome::Failed || outcome == Outcome::Refused)
            return Failed(summary, outcome == Outcome::Refused ? CommandStatus::BadInput : CommandStatus::Transient, file.url + ": " + reason + nothing);
        const bool absent = outcome == Outcome::Absent;
        if (download.source == sources.elevation.get())
        {
            ++windowsRead;
            seaSquares += absent;
        }
        else
            absentTiles += absent;
        if (const std::string& kept = absent ? file.absentFile : file.file; FileExists(kept))
            summary->written.push_back(kept);
        // A square or tile the source does not have is known once asked: not missing, but no
        // download of data either.
        ++(absent ? summary->notInSource : summary->downloaded);
        summary->missing = needed - summary->downloaded - summary->notInSource;
        progress.Done(summary->downloaded + summary->notInSource);
    }
    EndProgress();
    fprintf(stderr, "fetch: %d requests (imagery tiles, elevation squares asked for and the ranges of their windows); %d elevation windows read, %d of them in squares the source does not have (sea, 0 m); %d imagery tiles the source does not have\n", http.Requests(), windowsRead, seaSquares, absentTiles);
    return ExitDone;
}

// Imports the elevation tiles whose every window the cache holds into the folder: the
// import's status, or -1 when there is none.
int ImportCachedElevation(const std::vector<ElevationTileId>& wanted, const SourceFiles& files, const std::string& folder, std::vector<std::string>* written)
{
    std::vector<std::string> sources;
    std::vector<ElevationTileId> tiles;
    for (const ElevationTileId& tile : wanted)
    {
        std::vector<std::string> parts;
        bool whole = true;
        for (size_t i = 0; i < files.windows.size(); ++i)
            if (files.windowTiles[i].tileRow == tile.tileRow && files.windowTiles[i].tileColumn == tile.tileColumn)
            {
                whole = whole && TileCache::Holds(files.windows[i]);
                if (TileCache::Holds(files.windows[i]))
                    parts.push_back(TileCache::Readable(files.windows[i]));
            }
        if (!whole || parts.empty())
            continue;
        tiles.push_back(tile);
        for (const std::string& name : parts)
            if (std::find(sources.begin(), sources.end(), name) == sources.end())
                sources.push_back(name);
    }
    if (tiles.empty())
        return -1;
    const int status = ImportElevation(sources, tiles, folder);
    std::error_code failure;
    for (const ElevationTileId& tile : tiles)
        if (const fs::path name = fs::path(folder) / ElevationTileFileName(tile.tileRow, tile.tileColumn); FileExists(name.string()))
            written->push_back(fs::absolute(name, failure).string());
    return status;
}

// Imports the replay tiles whose source tiles the cache holds into the folder: the import's
// status, or -1 when the cache holds none of them.
int ImportCachedImagery(const RemoteImagery& imagery, const std::vector<ImageryTileId>& wanted, const std::string& folder, const std::string& cacheFolder, std::vector<std::string>* written)
{
    std::vector<ImageryTileId> tiles;
    for (const ImageryTileId& tile : wanted)
        if (FileExists(imagery.FileOf(tile).file))
            tiles.push_back(tile);
    if (tiles.empty())
        return -1;
    const int status = ImportImagery(*imagery.FromCache(), cacheFolder, tiles, folder);
    std::error_code failure;
    for (const ImageryTileId& tile : tiles)
        if (const fs::path name = fs::path(folder) / ImageryFileName(tile); FileExists(name.string()))
            written->push_back(fs::absolute(name, failure).string());
    return status;
}

} // namespace

FetchPlan PlanFetch(const CorridorPlan& corridor, const std::string& folder, const std::string& along)
{
    FetchPlan plan = WantsOfCorridor(corridor, false);
    plan.folder = folder;
    plan.along = along;
    return plan;
}

FetchPlan PlanCacheFill(const std::vector<FlightTiles>& flights)
{
    std::vector<CorridorPlan> plans;
    for (const FlightTiles& flight : flights)
    {
        // The whole corridor, whatever a folder holds: only the cache is filled.
        CorridorPlan plan;
        plan.imagery = CorridorImageryTiles(flight.CI, flight.CJ, flight.under);
        plan.elevation = CorridorElevationTiles(flight.CI, flight.CJ, plan.imagery);
        plan.imageryPresent.assign(plan.imagery.size(), false);
        plan.elevationPresent.assign(plan.elevation.size(), false);
        plans.push_back(std::move(plan));
    }
    FetchPlan plan = WantsOfCorridor(MergeCorridorPlans(plans), true);
    plan.along = FlightsAlong(flights.size());
    return plan;
}

FetchPlan PlanCacheFill(const GeoBox& box)
{
    FetchPlan plan;
    plan.elevation = ElevationTilesOfBox(box);
    plan.imagery = ImageryTilesOfBox(box);
    std::stable_sort(plan.imagery.begin(), plan.imagery.end(), [](const ImageryTileId& a, const ImageryTileId& b) { return a.level < b.level; });
    char along[128];
    snprintf(along, sizeof along, "the box %.5f,%.5f,%.5f,%.5f", box.south, box.west, box.north, box.east);
    plan.along = along;
    return plan;
}

std::string FlightsAlong(size_t flights)
{
    return flights == 1 ? "the whole flight" : "the " + std::to_string(flights) + " flights";
}

// A source whose terms forbid copies: refused before anything is asked of it.
static bool SourcesAllowed(const FetchOptions& options, FetchSummary* summary)
{
    for (const std::string* url : {&options.demUrl, &options.imageryUrl})
        if (const std::string reason = ForbiddenSourceReason(*url); !reason.empty())
        {
            Failed(summary, CommandStatus::BadInput, "refusing '" + *url + "': " + reason);
            return false;
        }
    return true;
}

int FetchMissing(const FetchPlan& wants, const FetchOptions& options, FetchSummary* summary)
{
    FetchSummary ignored;
    summary = summary ? summary : &ignored;
    if (!SourcesAllowed(options, summary))
        return ExitBadInput;
    const bool import = !wants.folder.empty();
    const TileCache cache(options.cacheFolder, options.offline);
    GDALAllRegister();
    summary->elevationTiles = wants.elevation.size();
    summary->imageryTiles = wants.imagery.size();

    // Where each comes from.
    std::string reason;
    SourceAddress address;
    address.cache = &cache;
    address.maxZoom = options.imageryMaxZoom;
    Sources sources;
    if (address.location = options.demUrl; options.demUrl != "none" && !(sources.elevation = OpenRemoteElevation(address, &reason)))
        return Failed(summary, CommandStatus::BadInput, reason);
    if (address.location = options.imageryUrl; options.imageryUrl != "none" && !(sources.imagery = OpenRemoteImagery(address, &reason)))
        return Failed(summary, CommandStatus::BadInput, reason);
    const SourceFiles files = FilesOfPlan(wants, sources);
    size_t ringDownloads = 0;
    std::vector<Download> toFetch = MissingFiles(files, sources, &ringDownloads);
    const size_t downloads = toFetch.size();
    summary->downloads = downloads;
    summary->cached = files.windows.size() + files.tiles.size() - downloads;
    summary->missing = downloads;
    if (import)
        fprintf(stderr, "fetch: %zu elevation tiles and %zu imagery tiles missing along %s (the replay's own: %zu and %zu); %zu downloads needed (the replay's own: %zu), %zu in the cache '%s'\n", wants.elevation.size(), wants.imagery.size(), wants.along.c_str(), wants.ringElevation, wants.ringImagery, downloads, ringDownloads, summary->cached, cache.Folder().c_str());
    else
        fprintf(stderr, "fetch: %zu elevation tiles and %zu imagery tiles over %s; %zu downloads needed, %zu already in the cache '%s'\n", wants.elevation.size(), wants.imagery.size(), wants.along.c_str(), downloads, summary->cached, cache.Folder().c_str());

    // A long flight's corridor is thousands of downloads: a run takes as many as the limit
    // allows, the replay's first, and the next run goes on from the cache.
    const size_t allowed = options.offline ? 0 : std::min(downloads, static_cast<size_t>(options.maxTiles));
    summary->leftByLimit = options.offline ? 0 : downloads - allowed;
    if (allowed < downloads && !options.offline)
        fprintf(stderr, "fetch: %zu downloads needed, more than the limit of %d: this run fetches the first %d (%s)%s; run it again for the other %zu, or raise the limit with --max-tiles N\n", downloads, options.maxTiles, options.maxTiles, import ? "the replay's own, then the corridor's coarsest levels first" : "the coarsest levels first", import ? " and imports what the cache holds" : "", downloads - allowed);
    if (options.dryRun || (options.offline && downloads > 0))
    {
        // Offline, the replay's own are listed and the corridor's counted: they can be tens
        // of thousands.
        const size_t listed = options.offline ? ringDownloads : allowed;
        const double bytes = ListDownloads(toFetch, listed, options.offline);
        if (options.dryRun)
        {
            fprintf(stderr, "fetch: %zu downloads, about %.1f MB; nothing fetched (dry run)\n", listed, bytes / 1e6);
            return ExitDone;
        }
        fprintf(stderr, "fetch: offline, %zu downloads missing from the cache%s\n", downloads, import ? "; the replay draws grass at 0 m where data are missing" : "");
    }
    if (!options.offline && ringDownloads > static_cast<size_t>(options.maxTiles))
        return Failed(summary, CommandStatus::BadInput, std::to_string(ringDownloads) + " downloads needed for the replay's own tiles, more than the limit of " + std::to_string(options.maxTiles) + "; nothing fetched (raise it with --max-tiles N)");
    toFetch.resize(allowed);
    if (!toFetch.empty())
        if (const CommandStatus writable = cache.PrepareForWriting(&reason); writable != CommandStatus::Done)
            return Failed(summary, writable, reason);
    if (options.imageryUrl == DefaultImageryUrl && !wants.imagery.empty())
        fprintf(stderr, "fetch: imagery from EOxCloudless (Sentinel-2 cloudless, EOX IT Services GmbH): licensed CC BY-NC-SA 4.0, for non-commercial use only; for other uses set FLIGHTREPLAY_IMAGERY_URL to a licensed or local tile source\n");

    // Everything first, so that a failure leaves the world as it was: nothing is imported.
    if (!toFetch.empty())
        if (const int status = DownloadAll(toFetch, sources, cache, options, import ? "; nothing imported" : "", summary); status != ExitDone)
            return status;
    if (!import)
    {
        fprintf(stderr, "fetch: %zu downloaded into the cache, %zu not in the source, %zu were there already, %zu still missing\n", summary->downloaded, summary->notInSource, summary->cached, summary->missing);
        return ExitDone;
    }

    // Import what the cache holds.
    const StandardOutputToErrors toErrors;
    std::vector<std::string> attribution;
    CommandStatus status = CommandStatus::Done;
    if (const int imported = ImportCachedElevation(wants.elevation, files, wants.folder, &summary->written); imported >= 0)
    {
        status = imported == 0 ? status : CommandStatus::BadInput;
        attribution.push_back(options.demUrl == DefaultDemUrl ? DefaultDemAttribution : "Elevation: " + options.demUrl);
    }
    if (const int imported = sources.imagery ? ImportCachedImagery(*sources.imagery, wants.imagery, wants.folder, cache.Folder(), &summary->written) : -1; imported >= 0)
    {
        status = imported == 0 ? status : CommandStatus::BadInput;
        attribution.push_back(options.imageryUrl == DefaultImageryUrl ? DefaultImageryAttribution : "Imagery: " + options.imageryUrl);
    }
    if (StopSignal())
        return Interrupted(summary, "; the tiles not yet imported left as they were");
    if (!attribution.empty())
        WriteAttribution(wants.folder, attribution);
    if (status != CommandStatus::Done)
        summary->message = "an import failed";
    return ExitStatusOf(status);
}

int FetchMissing(const std::string& logPath, const FetchOptions& options, FetchSummary* summary)
{
    FetchSummary ignored;
    summary = summary ? summary : &ignored;
    if (!SourcesAllowed(options, summary))
        return ExitBadInput;
    if (FILE* file = fopen(logPath.c_str(), "rb"))
        fclose(file);
    else
    {
        Failed(summary, CommandStatus::BadInput, "cannot open '" + logPath + "'");
        return -2;
    }
    // A flight file of any format is converted in memory, as the player loads it.
    LoadedFlight loaded;
    if (LoadFlight(logPath.c_str(), nullptr, FlightFiles::Convert, LoadReport::Quiet, &loaded) != 0)
    {
        Failed(summary, CommandStatus::BadInput, "no row of '" + logPath + "' is accepted (one needs gps_curlat and gps_curlon away from 0 and a selected sample number)");
        return -4;
    }
    // The tiles go beside the log; its folder as the system names it, symbolic links resolved.
    std::error_code failure;
    const std::string folder = fs::weakly_canonical(fs::absolute(logPath, failure).parent_path(), failure).string();
    const FlightTiles flight = TilesOfFlight(loaded.Rows(), loaded.Frame());
    return FetchMissing(PlanFetch(PlanCorridor(flight, folder), folder, FlightsAlong(1)), options, summary);
}

int FetchArea(const GeoBox& box, const FetchOptions& options, FetchSummary* summary)
{
    return FetchMissing(PlanCacheFill(box), options, summary);
}

int FetchArea(const std::vector<std::string>& logPaths, const FetchOptions& options, FetchSummary* summary)
{
    FetchSummary ignored;
    summary = summary ? summary : &ignored;
    if (!SourcesAllowed(options, summary))
        return ExitBadInput;
    std::vector<FlightTiles> flights;
    for (const std::string& logPath : logPaths)
    {
        LoadedFlight loaded;
        if (LoadFlight(logPath.c_str(), nullptr, FlightFiles::Refuse, LoadReport::Quiet, &loaded) != 0)
            return Failed(summary, CommandStatus::BadInput, "no row of '" + logPath + "' is accepted (one needs gps_curlat and gps_curlon away from 0)");
        flights.push_back(TilesOfFlight(loaded.Rows(), loaded.Frame()));
    }
    return FetchMissing(PlanCacheFill(flights), options, summary);
}
