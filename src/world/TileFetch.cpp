#include "world/TileFetch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <unistd.h>

#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "batch/CommandReport.h"
#include "flight/FlightLoading.h"
#include "geo/GeoTiles.h"
#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "log/SampleTable.h"
#include "terrain/FlightCorridor.h"
#include "terrain/FlightCorridor.h"
#include "world/DemImport.h"
#include "world/GdalReason.h"
#include "world/HttpClient.h"
#include "world/ImageryImport.h"
#include "world/RemoteRaster.h"
#include "world/TileFiles.h"
#include "world/TilePlan.h"

namespace fs = std::filesystem;

static const char* const UserAgent = "flightreplay/" FLIGHTREPLAY_VERSION " (terrain and imagery for flight replays)";

// Attribution the default sources' terms require wherever their data are shown.
static const char* const DefaultDemAttribution = "Elevation: Copernicus GLO-30 DEM, (c) DLR e.V. 2010-2014 and (c) Airbus Defence and Space GmbH 2014-2018 provided under COPERNICUS by the European Union and ESA";
static const char* const DefaultImageryAttribution = "Imagery: EOxCloudless https://cloudless.eox.at by EOX IT Services GmbH (Contains modified Copernicus Sentinel data 2020), CC BY-NC-SA 4.0";

// Bytes a dry run quotes for a compressed Float32 pixel of a window (for an imagery tile,
// ImageryTileBytesEstimate).
static const double DemPixelBytesEstimate = 2.5;

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

bool ParseMaxTiles(const char* command, const char* text, FetchOptions* options)
{
    char* end = nullptr;
    const long count = strtol(text, &end, 10);
    if (*end || end == text || count < 0 || count > 1000000)
    {
        fprintf(stderr, "%s: --max-tiles '%s' is no count from 0 to 1000000\n", command, text);
        return false;
    }
    options->maxTiles = static_cast<int>(count);
    return true;
}

std::string DemSquareName(int latitude, int longitude)
{
    char name[64];
    snprintf(name, sizeof name, "Copernicus_DSM_COG_10_%c%02d_00_%c%03d_00_DEM", latitude < 0 ? 'S' : 'N', std::abs(latitude), longitude < 0 ? 'W' : 'E', std::abs(longitude));
    return name;
}

namespace
{

std::string Replace(std::string text, const std::string& field, const std::string& value)
{
    for (size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
        text.replace(at, field.size(), value);
    return text;
}

// A folder name for a source, so that two templates never share cached files.
std::string SourceFolder(const std::string& kind, const std::string& url)
{
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : url)
        hash = (hash ^ c) * 1099511628211ull;
    char name[32];
    snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return kind + "/" + name;
}

GeoBox BoxOfElevationTile(ElevationTileId tile)
{
    const double top = static_cast<double>(tile.tileRow) * ElevationTileSize;
    const double left = static_cast<double>(tile.tileColumn) * ElevationTileSize;
    return GeoBox{GridRowLatitude(top + ElevationTileSize), GridColumnLongitude(left), GridRowLatitude(top), GridColumnLongitude(left + ElevationTileSize)};
}

// The part of one elevation tile that lies in one square of the elevation source.
struct DemWindow
{
    ElevationTileId tile;
    std::string url;
    GeoBox box;
    std::string file;    // the window as a GeoTIFF in the cache
    std::string seaFile; // or, where the source has no square (404), a flat 0 m raster
    bool Cached() const { return FileExists(file) || FileExists(seaFile); }
    std::string CachedFile() const { return FileExists(file) ? file : seaFile; }
};

// One tile of the imagery source, and where it is kept.
struct SourceTile
{
    std::string url;
    std::string file;
    std::string absentFile; // marks a tile the source does not have (404)
    bool Cached() const { return FileExists(file) || FileExists(absentFile); }
};

// The window's pixels per degree: twice the replay's samples, finer than the terrain draws.
double WindowPixelsPerDegree()
{
    return 2.0 * ElevationTileSize / (360.0 / ElevationTilesPerAxis);
}

int64_t WindowPixels(const GeoBox& box)
{
    return static_cast<int64_t>(std::ceil((box.east - box.west) * WindowPixelsPerDegree()) * std::ceil((box.north - box.south) * WindowPixelsPerDegree()));
}

using Dataset = std::unique_ptr<GDALDataset, void (*)(GDALDataset*)>;
void CloseDataset(GDALDataset* dataset)
{
    if (dataset)
        GDALClose(dataset);
}

// Writes the pixels over a north-up grid to `path` through a temporary name.
bool WriteWindow(const std::string& path, const std::vector<float>& pixels, int width, int height, const double geoTransform[6], const char* projection, const double* noData, std::string* error)
{
    const std::string partial = PartialName(path);
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    const char* creation[] = {"COMPRESS=DEFLATE", "TILED=YES", nullptr};
    Dataset file(driver ? driver->Create(partial.c_str(), width, height, 1, GDT_Float32, const_cast<char**>(creation)) : nullptr, CloseDataset);
    bool done = file != nullptr;
    if (done)
    {
        double transform[6];
        std::copy(geoTransform, geoTransform + 6, transform);
        file->SetGeoTransform(transform);
        file->SetProjection(projection);
        if (noData)
            file->GetRasterBand(1)->SetNoDataValue(*noData);
        done = file->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, width, height, const_cast<float*>(pixels.data()), width, height, GDT_Float32, 0, 0) == CE_None;
        GDALClose(file.release());
        done = done && CPLGetLastErrorType() < CE_Failure;
    }
    if (done && rename(partial.c_str(), path.c_str()) == 0)
        return true;
    *error = "cannot write '" + path + "': " + GdalReason("no reason given");
    VSIUnlink(partial.c_str());
    return false;
}

std::string WgsProjection()
{
    OGRSpatialReference geographic;
    geographic.SetWellKnownGeogCS("WGS84");
    char* wkt = nullptr;
    geographic.exportToWkt(&wkt);
    const std::string text = wkt ? wkt : "";
    CPLFree(wkt);
    return text;
}

// Refused: the source's own answer (a refusal, a page or a raster that cannot serve), which
// no retry changes; Failed: the network's or the disk's, which a retry may mend.
// What came when it is no picture of a kind the imagery import reads, for HttpClient::Download.
std::string UnlessPicture(const std::string& head)
{
    const std::string kind = ContentKind(head);
    return kind == "JPEG" || kind == "PNG" || kind == "WebP" || kind == "GIF" || kind == "TIFF" ? "" : kind;
}

enum class Outcome { Saved, Absent, Failed, Refused };

// Reads the window of the remote raster, GDAL reading it in ranges through our own client,
// and keeps it. The square's HEAD, asked once a run, tells a square the source lacks (404).
Outcome FetchDemWindow(RemoteRasters& remote, const DemWindow& window, std::string* error)
{
    const HttpResult& probe = remote.Probe(window.url);
    if (!probe.error.empty() || (probe.status != 200 && probe.status != 404))
    {
        *error = probe.Reason();
        return probe.Refused() ? Outcome::Refused : Outcome::Failed;
    }
    if (probe.status == 200 && probe.size < 0)
    {
        *error = "the server does not say how long the file is (no Content-Length)";
        return Outcome::Failed;
    }
    CPLErrorReset();
    Dataset source(probe.status == 404 ? nullptr : static_cast<GDALDataset*>(GDALOpenEx(RemoteRasters::GdalPath(window.url).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)), CloseDataset);
    if (!source)
    {
        const std::string reason = remote.ReadError().empty() ? CPLGetLastErrorMsg() : remote.ReadError();
        if (probe.status == 404)
        {
            // No square there: the open sea. A flat 2 x 2 raster over the window says 0 m.
            const double transform[6] = {window.box.west, (window.box.east - window.box.west) / 2, 0, window.box.north, 0, -(window.box.north - window.box.south) / 2};
            return WriteWindow(window.seaFile, std::vector<float>(4, 0.0f), 2, 2, transform, WgsProjection().c_str(), nullptr, error) ? Outcome::Absent : Outcome::Failed;
        }
        *error = reason.empty() ? "cannot open it" : reason;
        // What came whole but is no raster GDAL reads is the source's.
        return remote.ReadError().empty() || remote.ReadRefused() ? Outcome::Refused : Outcome::Failed;
    }
    double transform[6], inverse[6];
    if (source->GetRasterCount() < 1 || source->GetGeoTransform(transform) != CE_None || !GDALInvGeoTransform(transform, inverse))
    {
        *error = "no georeferenced raster";
        return Outcome::Refused;
    }
    // The window in source pixels, a pixel wider on every side for the bilinear edges.
    auto pixelX = [&](double lon, double lat) { return inverse[0] + lon * inverse[1] + lat * inverse[2]; };
    auto pixelY = [&](double lon, double lat) { return inverse[3] + lon * inverse[4] + lat * inverse[5]; };
    const int width = source->GetRasterXSize(), height = source->GetRasterYSize();
    const int x0 = std::clamp(static_cast<int>(std::floor(pixelX(window.box.west, window.box.north))) - 1, 0, width);
    const int x1 = std::clamp(static_cast<int>(std::ceil(pixelX(window.box.east, window.box.south))) + 1, 0, width);
    const int y0 = std::clamp(static_cast<int>(std::floor(pixelY(window.box.west, window.box.north))) - 1, 0, height);
    const int y1 = std::clamp(static_cast<int>(std::ceil(pixelY(window.box.east, window.box.south))) + 1, 0, height);
    if (x1 <= x0 || y1 <= y0)
    {
        *error = "the raster does not reach the window";
        return Outcome::Refused;
    }
    // No finer than the terrain needs: GDAL then reads a coarser overview of the file.
    const int outWidth = std::min(x1 - x0, static_cast<int>(std::ceil((window.box.east - window.box.west) * WindowPixelsPerDegree())) + 2);
    const int outHeight = std::min(y1 - y0, static_cast<int>(std::ceil((window.box.north - window.box.south) * WindowPixelsPerDegree())) + 2);
    std::vector<float> pixels(static_cast<size_t>(outWidth) * outHeight);
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Bilinear;
    GDALRasterBand* band = source->GetRasterBand(1);
    if (band->RasterIO(GF_Read, x0, y0, x1 - x0, y1 - y0, pixels.data(), outWidth, outHeight, GDT_Float32, 0, 0, &extra) != CE_None)
    {
        *error = remote.ReadError().empty() ? GdalReason("reading the window failed") : remote.ReadError();
        return remote.ReadError().empty() || remote.ReadRefused() ? Outcome::Refused : Outcome::Failed;
    }
    const double windowTransform[6] = {transform[0] + x0 * transform[1] + y0 * transform[2], transform[1] * (x1 - x0) / outWidth, 0, transform[3] + x0 * transform[4] + y0 * transform[5], 0, transform[5] * (y1 - y0) / outHeight};
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    const char* projection = source->GetProjectionRef();
    return WriteWindow(window.file, pixels, outWidth, outHeight, windowTransform, projection && *projection ? projection : WgsProjection().c_str(), hasNoData ? &noData : nullptr, error) ? Outcome::Saved : Outcome::Failed;
}

// Cuts the part of a coarser source tile that a finer replay tile covers, enlarged to a
// whole tile, into a JPEG at `path`.
bool CutTile(const std::string& sourceFile, int levelsFiner, int64_t row, int64_t column, const std::string& path)
{
    Dataset source(static_cast<GDALDataset*>(GDALOpenEx(sourceFile.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)), CloseDataset);
    if (!source || source->GetRasterCount() < 1)
        return false;
    const int parts = 1 << levelsFiner;
    const double span = static_cast<double>(source->GetRasterXSize()) / parts;
    const int64_t part = parts;
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Bilinear;
    extra.bFloatingPointWindowValidity = TRUE;
    extra.dfXOff = static_cast<double>(column % part) * span;
    extra.dfYOff = static_cast<double>(row % part) * span;
    extra.dfXSize = span;
    extra.dfYSize = span;
    const int side = ImageryTilePixels;
    std::vector<unsigned char> pixels(static_cast<size_t>(side) * side * 3);
    int bands[3] = {1, 2, 3};
    if (source->GetRasterCount() < 3)
        bands[1] = bands[2] = 1;
    const int x = static_cast<int>(extra.dfXOff), y = static_cast<int>(extra.dfYOff);
    const int size = std::max(1, static_cast<int>(std::ceil(span)));
    if (source->RasterIO(GF_Read, x, y, std::min(size, source->GetRasterXSize() - x), std::min(size, source->GetRasterYSize() - y), pixels.data(), side, side, GDT_Byte, 3, bands, 3, 3 * side, 1, &extra) != CE_None)
        return false;
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* jpeg = GetGDALDriverManager()->GetDriverByName("JPEG");
    Dataset picture(memory ? memory->Create("", side, side, 3, GDT_Byte, nullptr) : nullptr, CloseDataset);
    if (!picture || !jpeg || picture->RasterIO(GF_Write, 0, 0, side, side, pixels.data(), side, side, GDT_Byte, 3, nullptr, 3, 3 * side, 1) != CE_None)
        return false;
    const std::string partial = PartialName(path);
    Dataset written(jpeg->CreateCopy(partial.c_str(), picture.get(), FALSE, nullptr, nullptr, nullptr), CloseDataset);
    const bool done = written != nullptr;
    written.reset();
    VSIUnlink((partial + ".aux.xml").c_str());
    if (done && rename(partial.c_str(), path.c_str()) == 0)
        return true;
    VSIUnlink(partial.c_str());
    return false;
}

// Adds the lines to ATTRIBUTION.txt in the working directory, each once.
void WriteAttribution(const std::vector<std::string>& lines)
{
    std::vector<std::string> all;
    std::ifstream existing(AttributionFile);
    for (std::string line; std::getline(existing, line);)
        all.push_back(line);
    for (const std::string& line : lines)
        if (std::find(all.begin(), all.end(), line) == all.end())
            all.push_back(line);
    std::string text;
    for (const std::string& line : all)
        text += line + "\n";
    if (!WriteFileAtomically(AttributionFile, text.data(), text.size()))
        fprintf(stderr, "fetch: cannot write %s\n", AttributionFile);
}

// Runs in the log's folder and goes back to where it was on leaving.
class FolderVisit
{
public:
    explicit FolderVisit(const fs::path& folder) : previous(fs::current_path()) { fs::current_path(folder); }
    ~FolderVisit()
    {
        std::error_code ignored;
        fs::current_path(previous, ignored);
    }

private:
    fs::path previous;
};

} // namespace

// A fetch that was killed leaves its half-written downloads (NAME.partial-PID-COUNT) and, from
// older versions, a staging folder (staging-PID) behind. They are never read, but they would
// pile up: the next fetch that writes removes those of processes that are gone. Only after an
// hour, since a cache shared between machines may hold another machine's live download under
// a number that is free here.
static void RemoveLeftovers(const fs::path& cache)
{
    const auto leftover = [](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        size_t mark = name.rfind(".partial-");
        mark = mark != std::string::npos ? mark + 9 : name.rfind("staging-", 0) == 0 ? 8 : std::string::npos;
        if (mark == std::string::npos || mark >= name.size())
            return false;
        const size_t end = std::min(name.find('-', mark), name.size());
        if (end == mark || end - mark > 9 || name.find_first_not_of("0123456789", mark) < end)
            return false;
        if (end < name.size() && (end + 1 == name.size() || name.find_first_not_of("0123456789", end + 1) != std::string::npos))
            return false;
        std::error_code failure;
        const auto age = fs::file_time_type::clock::now() - entry.last_write_time(failure);
        return !failure && age > std::chrono::hours(1) && kill(static_cast<pid_t>(std::stol(name.substr(mark, end - mark))), 0) != 0 && errno == ESRCH;
    };
    std::error_code failure;
    std::vector<fs::path> gone;
    for (fs::recursive_directory_iterator it(cache, failure), end; !failure && it != end; it.increment(failure))
        if (leftover(*it))
        {
            gone.push_back(it->path());
            if (it->is_directory(failure))
                it.disable_recursion_pending();
        }
    for (const fs::path& path : gone)
        fs::remove_all(path, failure);
}

namespace
{

// The tiles a run wants, in the order they are fetched: the replay's own first (the first
// ringElevation and ringImagery), then the rest, imagery coarsest level first, so that a run
// the limit cuts short leaves ground everywhere before the detail.
struct TileWants
{
    std::vector<ElevationTileId> elevation;
    size_t ringElevation = 0;
    std::vector<ImageryTileId> imagery;
    size_t ringImagery = 0;
    std::string along; // "the whole flight", "the 3 flights", "the box ..."
};

// The corridor's tiles that are not there, or all of them (`all`: for the cache alone).
TileWants WantsOfCorridor(const CorridorPlan& corridor, bool all)
{
    TileWants wants;
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

// Whether files can be put in the cache: its folder made if need be, and writable. Asked
// before the first download, so that a worker given a cache it cannot write says so once
// instead of failing on every tile.
CommandStatus CacheWritable(const fs::path& cache, std::string* reason)
{
    std::error_code failure;
    fs::create_directories(cache, failure);
    int error = failure.value();
    if (!failure && access(cache.c_str(), W_OK) != 0)
        error = errno;
    if (error == 0)
        return CommandStatus::Done;
    *reason = "the cache '" + cache.string() + "' cannot be written (" + std::generic_category().message(error) + "): point FLIGHTREPLAY_CACHE at a writable folder, or pass --offline to use it as it is";
    return WriteFailureStatus(error);
}

// Marks a tile the source does not have: an empty file put in place under a name of its own.
bool WriteAbsentMarker(const std::string& path)
{
    const std::string partial = PartialName(path);
    FILE* file = fopen(partial.c_str(), "wb");
    if (file && fclose(file) == 0 && rename(partial.c_str(), path.c_str()) == 0)
        return true;
    remove(partial.c_str());
    return false;
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

} // namespace

// Fetches the wanted tiles' sources into the cache and, when `import`, imports what the cache
// then holds into the working directory. Every line for people goes to stderr: standard
// output is a calling command's own (its --json object, world's folder).
static int FetchWanted(const TileWants& wants, const FetchOptions& options, bool import, FetchSummary* summary)
{
    std::error_code failure;
    const fs::path cache = fs::absolute(options.cacheFolder, failure);
    GDALAllRegister();
    summary->elevationTiles = wants.elevation.size();
    summary->imageryTiles = wants.imagery.size();

    // Where each comes from.
    std::vector<DemWindow> windows;
    size_t ringWindows = 0;
    if (options.demUrl != "none")
    {
        const std::string folder = (cache / SourceFolder("dem", options.demUrl)).string();
        for (size_t i = 0; i < wants.elevation.size(); ++i)
        {
            const ElevationTileId& tile = wants.elevation[i];
            const GeoBox box = BoxOfElevationTile(tile);
            for (int latitude = static_cast<int>(std::floor(box.south)); latitude < box.north && latitude < 90; ++latitude)
                for (int longitude = static_cast<int>(std::floor(box.west)); longitude < box.east; ++longitude)
                {
                    const std::string square = DemSquareName(latitude, longitude);
                    const GeoBox part = {std::max(box.south, double(latitude)), std::max(box.west, double(longitude)), std::min(box.north, latitude + 1.0), std::min(box.east, longitude + 1.0)};
                    const std::string stem = folder + "/" + square + "/" + std::to_string(tile.tileRow) + "-" + std::to_string(tile.tileColumn);
                    windows.push_back(DemWindow{tile, Replace(options.demUrl, "{tile}", square), part, stem + ".tif", stem + ".sea.tif"});
                }
            if (i + 1 == wants.ringElevation)
                ringWindows = windows.size();
        }
    }
    // Each source tile once, in the order first needed; the first ringSourceTiles serve the rings.
    std::vector<SourceTile> sourceTiles;
    std::map<std::string, size_t> sourceTileByUrl;
    size_t ringSourceTiles = 0;
    std::vector<std::pair<ImageryTileId, size_t>> imageryUses; // replay tile, source tile
    if (options.imageryUrl != "none")
    {
        const std::string folder = (cache / SourceFolder("imagery", options.imageryUrl)).string();
        for (size_t i = 0; i < wants.imagery.size(); ++i)
        {
            const ImageryTileId& tile = wants.imagery[i];
            const int zoom = std::min(tile.level, options.imageryMaxZoom);
            const int shift = tile.level - zoom;
            const int64_t x = WrapTileColumn(tile.column, tile.level) >> shift, y = tile.row >> shift;
            const std::string url = Replace(Replace(Replace(options.imageryUrl, "{z}", std::to_string(zoom)), "{x}", std::to_string(x)), "{y}", std::to_string(y));
            const std::string stem = folder + "/" + std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y);
            const auto added = sourceTileByUrl.emplace(url, sourceTiles.size());
            if (added.second)
                sourceTiles.push_back(SourceTile{url, stem + ".tile", stem + ".absent"});
            imageryUses.emplace_back(tile, added.first->second);
            if (i + 1 == wants.ringImagery)
                ringSourceTiles = sourceTiles.size();
        }
    }

    // The downloads in the order they are made: the rings' elevation and imagery, then the
    // corridor's.
    struct Download
    {
        const DemWindow* window;
        const SourceTile* tile;
        const std::string& Url() const { return window ? window->url : tile->url; }
    };
    std::vector<Download> toFetch;
    size_t ringDownloads = 0;
    for (int part = 0; part < 2; ++part)
    {
        for (size_t i = part == 0 ? 0 : ringWindows; i < (part == 0 ? ringWindows : windows.size()); ++i)
            if (!windows[i].Cached())
                toFetch.push_back(Download{&windows[i], nullptr});
        for (size_t i = part == 0 ? 0 : ringSourceTiles; i < (part == 0 ? ringSourceTiles : sourceTiles.size()); ++i)
            if (!sourceTiles[i].Cached())
                toFetch.push_back(Download{nullptr, &sourceTiles[i]});
        if (part == 0)
            ringDownloads = toFetch.size();
    }
    const size_t downloads = toFetch.size();
    summary->downloads = downloads;
    summary->cached = windows.size() + sourceTiles.size() - downloads;
    summary->missing = downloads;
    if (import)
        fprintf(stderr, "fetch: %zu elevation tiles and %zu imagery tiles missing along %s (the replay's own: %zu and %zu); %zu downloads needed (the replay's own: %zu), %zu in the cache '%s'\n", wants.elevation.size(), wants.imagery.size(), wants.along.c_str(), wants.ringElevation, wants.ringImagery, downloads, ringDownloads, summary->cached, cache.c_str());
    else
        fprintf(stderr, "fetch: %zu elevation tiles and %zu imagery tiles over %s; %zu downloads needed, %zu already in the cache '%s'\n", wants.elevation.size(), wants.imagery.size(), wants.along.c_str(), downloads, summary->cached, cache.c_str());

    // A long flight's corridor is thousands of downloads: a run takes as many as the limit
    // allows, the replay's first, and the next run goes on from the cache.
    const size_t allowed = options.offline ? 0 : std::min(downloads, static_cast<size_t>(options.maxTiles));
    summary->leftByLimit = options.offline ? 0 : downloads - allowed;
    if (allowed < downloads && !options.offline)
        fprintf(stderr, "fetch: %zu downloads needed, more than the limit of %d: this run fetches the first %d (%s)%s; run it again for the other %zu, or raise the limit with --max-tiles N\n", downloads, options.maxTiles, options.maxTiles, import ? "the replay's own, then the corridor's coarsest levels first" : "the coarsest levels first", import ? " and imports what the cache holds" : "", downloads - allowed);

    if (options.dryRun || (options.offline && downloads > 0))
    {
        double bytes = 0;
        size_t listed = 0;
        for (size_t i = 0; i < downloads; ++i)
        {
            const Download& download = toFetch[i];
            // Offline, the replay's own are listed and the corridor's counted: they can be
            // tens of thousands.
            const bool list = options.offline ? i < ringDownloads : i < allowed;
            if (!list)
                continue;
            ++listed;
            if (download.window)
            {
                fprintf(stderr, "%s %s window %.5f,%.5f,%.5f,%.5f\n", options.offline ? "missing" : "would fetch", download.window->url.c_str(), download.window->box.south, download.window->box.west, download.window->box.north, download.window->box.east);
                bytes += WindowPixels(download.window->box) * DemPixelBytesEstimate;
            }
            else
            {
                fprintf(stderr, "%s %s\n", options.offline ? "missing" : "would fetch", download.Url().c_str());
                bytes += ImageryTileBytesEstimate;
            }
        }
        if (listed < downloads)
            fprintf(stderr, "%s %zu more downloads\n", options.offline ? "missing" : "left for later runs:", downloads - listed);
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
    {
        std::string reason;
        if (const CommandStatus writable = CacheWritable(cache, &reason); writable != CommandStatus::Done)
            return Failed(summary, writable, reason);
        RemoveLeftovers(cache);
    }
    if (options.imageryUrl == DefaultImageryUrl && !wants.imagery.empty())
        fprintf(stderr, "fetch: imagery from EOxCloudless (Sentinel-2 cloudless, EOX IT Services GmbH): licensed CC BY-NC-SA 4.0, for non-commercial use only; for other uses set FLIGHTREPLAY_IMAGERY_URL to a licensed or local tile source\n");

    // Everything first, so that a failure leaves the world as it was: nothing is imported.
    int seaSquares = 0, absentTiles = 0;
    if (!toFetch.empty())
    {
        HttpManners manners;
        manners.userAgent = UserAgent;
        manners.minimumInterval = options.requestInterval;
        HttpClient http(manners);
        RemoteRasters remote(http);
        int windowsRead = 0;
        const char* nothing = import ? "; nothing imported" : "";
        // A square or tile the source does not have is known once asked: not missing, but no
        // download of data either.
        DownloadProgress progress(toFetch.size(), http);
        const auto counted = [&](bool absent) {
            ++(absent ? summary->notInSource : summary->downloaded);
            summary->missing = downloads - summary->downloaded - summary->notInSource;
            progress.Done(summary->downloaded + summary->notInSource);
        };
        for (const Download& download : toFetch)
        {
            if (StopSignal())
                return Interrupted(summary, nothing);
            if (const DemWindow* window = download.window)
            {
                fs::create_directories(fs::path(window->file).parent_path(), failure);
                std::string reason;
                const Outcome outcome = FetchDemWindow(remote, *window, &reason);
                if (StopSignal())
                    return Interrupted(summary, nothing);
                if (outcome == Outcome::Failed || outcome == Outcome::Refused)
                    return Failed(summary, outcome == Outcome::Refused ? CommandStatus::BadInput : CommandStatus::Transient, window->url + ": " + reason + nothing);
                ++windowsRead;
                seaSquares += outcome == Outcome::Absent;
                summary->written.push_back(window->CachedFile());
                counted(outcome == Outcome::Absent);
                continue;
            }
            const SourceTile* tile = download.tile;
            fs::create_directories(fs::path(tile->file).parent_path(), failure);
            const HttpResult result = http.Download(tile->url, tile->file, UnlessPicture);
            if (StopSignal())
                return Interrupted(summary, nothing);
            if (result.status == 404 && result.error.empty())
            {
                // The source has no picture there: kept as known, never drawn black.
                if (WriteAbsentMarker(tile->absentFile))
                    summary->written.push_back(tile->absentFile);
                ++absentTiles;
            }
            else if (!result.Saved())
                return Failed(summary, result.Refused() ? CommandStatus::BadInput : CommandStatus::Transient, tile->url + ": " + result.Reason() + (result.unwanted.empty() ? "" : ", not a picture; not kept") + nothing);
            else
                summary->written.push_back(tile->file);
            counted(result.status == 404);
        }
        EndProgress();
        fprintf(stderr, "fetch: %d requests (imagery tiles, elevation squares asked for and the ranges of their windows); %d elevation windows read, %d of them in squares the source does not have (sea, 0 m); %d imagery tiles the source does not have\n", http.Requests(), windowsRead, seaSquares, absentTiles);
    }
    if (!import)
    {
        fprintf(stderr, "fetch: %zu downloaded into the cache, %zu not in the source, %zu were there already, %zu still missing\n", summary->downloaded, summary->notInSource, summary->cached, summary->missing);
        return ExitDone;
    }

    // Import what the cache holds.
    const StandardOutputToErrors toErrors;
    std::vector<std::string> attribution;
    CommandStatus status = CommandStatus::Done;
    std::vector<std::string> demSources;
    std::vector<ElevationTileId> demTiles;
    for (const ElevationTileId& tile : wants.elevation)
    {
        std::vector<std::string> files;
        bool whole = true;
        for (const DemWindow& window : windows)
            if (window.tile.tileRow == tile.tileRow && window.tile.tileColumn == tile.tileColumn)
            {
                whole = whole && window.Cached();
                if (window.Cached())
                    files.push_back(window.CachedFile());
            }
        if (!whole || files.empty())
            continue;
        demTiles.push_back(tile);
        for (const std::string& name : files)
            if (std::find(demSources.begin(), demSources.end(), name) == demSources.end())
                demSources.push_back(name);
    }
    if (!demTiles.empty())
    {
        if (ImportElevation(demSources, demTiles) != 0)
            status = CommandStatus::BadInput;
        for (const ElevationTileId& tile : demTiles)
            if (const std::string name = ElevationTileFileName(tile.tileRow, tile.tileColumn); FileExists(name))
                summary->written.push_back(fs::absolute(name, failure).string());
        attribution.push_back(options.demUrl == DefaultDemUrl ? DefaultDemAttribution : "Elevation: " + options.demUrl);
    }

    // The replay's tiles are staged outside the cache, which may be shared and read-only.
    std::string staging = (fs::temp_directory_path(failure) / "flightreplay-fetch-XXXXXX").string();
    if (imageryUses.empty())
        staging.clear();
    else if (!mkdtemp(staging.data()))
    {
        const int error = errno;
        fprintf(stderr, "fetch: cannot make a folder in '%s' for the imagery to import: %s\n", fs::path(staging).parent_path().c_str(), strerror(error));
        status = WriteFailureStatus(error);
        staging.clear();
    }
    std::vector<ImageryTileId> imageryTiles;
    for (const auto& [tile, index] : imageryUses)
    {
        const SourceTile& source = sourceTiles[index];
        if (!FileExists(source.file) || staging.empty())
            continue;
        const int zoom = std::min(tile.level, options.imageryMaxZoom);
        const int64_t column = WrapTileColumn(tile.column, tile.level);
        const fs::path name = fs::path(staging) / std::to_string(tile.level) / std::to_string(column) / (std::to_string(tile.row) + ".jpg");
        fs::create_directories(name.parent_path(), failure);
        bool staged = false;
        if (zoom == tile.level)
        {
            fs::create_symlink(source.file, name, failure);
            staged = !failure;
        }
        else
            staged = CutTile(source.file, tile.level - zoom, tile.row, column, name.string());
        if (staged)
            imageryTiles.push_back(tile);
        else
            fprintf(stderr, "fetch: cannot make imagery tile %s from '%s'; not written\n", ImageryFileName(tile).c_str(), source.file.c_str());
    }
    if (!imageryTiles.empty())
    {
        if (ImportImagery(staging, false, imageryTiles) != 0)
            status = CommandStatus::BadInput;
        for (const ImageryTileId& tile : imageryTiles)
            if (const std::string name = ImageryFileName(tile); FileExists(name))
                summary->written.push_back(fs::absolute(name, failure).string());
        attribution.push_back(options.imageryUrl == DefaultImageryUrl ? DefaultImageryAttribution : "Imagery: " + options.imageryUrl);
    }
    if (!staging.empty())
        fs::remove_all(staging, failure);
    if (StopSignal())
        return Interrupted(summary, "; the tiles not yet imported left as they were");
    if (!attribution.empty())
        WriteAttribution(attribution);
    if (status != CommandStatus::Done)
        summary->message = "an import failed";
    return ExitStatusOf(status);
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

int FetchMissing(const std::string& logPath, const FetchOptions& options, FetchSummary* summary)
{
    return FetchMissing(std::vector<std::string>{logPath}, options, summary);
}

int FetchMissing(const std::vector<std::string>& logPaths, const FetchOptions& options, FetchSummary* summary)
{
    FetchSummary ignored;
    summary = summary ? summary : &ignored;
    if (!SourcesAllowed(options, summary))
        return ExitBadInput;
    if (logPaths.empty())
        return ExitDone;
    std::error_code failure;
    std::vector<fs::path> logs;
    for (const std::string& logPath : logPaths)
    {
        logs.push_back(fs::absolute(logPath, failure));
        FILE* file = fopen(logPath.c_str(), "rb");
        if (!file)
        {
            Failed(summary, CommandStatus::BadInput, "cannot open '" + logPath + "'");
            return -2;
        }
        fclose(file);
    }
    std::vector<CorridorPlan> plans;
    for (size_t i = 0; i < logs.size(); ++i)
    {
        // A flight file of any format is converted in memory, as the player loads it.
        if (!LoadFlightQuietly(logs[i].c_str(), FlightFiles::Convert))
        {
            Failed(summary, CommandStatus::BadInput, "no row of '" + logPaths[i] + "' is accepted (one needs gps_curlat and gps_curlon away from 0 and a selected sample number)");
            return -4;
        }
        // Each log around its own map frame, as the replay frames it on its own, judged
        // where the tiles are: in the folder of the first.
        FolderVisit visit(logs.front().parent_path());
        plans.push_back(PlanCorridor(MapFrame.CI, MapFrame.CJ, PlanReplayFiles(MapFrame.CI, MapFrame.CJ)));
    }
    FolderVisit visit(logs.front().parent_path());

    // What the flights lack: the replay's own tiles first, then the rest of the corridor along
    // each whole flight for the player, coarsest level first, so that a run the limit cuts
    // short leaves ground under all of the flights before the detail near them.
    TileWants wants = WantsOfCorridor(MergeCorridorPlans(plans), false);
    wants.along = logs.size() == 1 ? "the whole flight" : "the " + std::to_string(logs.size()) + " flights";
    return FetchWanted(wants, options, true, summary);
}

int FetchArea(const GeoBox& box, const FetchOptions& options, FetchSummary* summary)
{
    FetchSummary ignored;
    summary = summary ? summary : &ignored;
    if (!SourcesAllowed(options, summary))
        return ExitBadInput;
    TileWants wants;
    wants.elevation = ElevationTilesOfBox(box);
    wants.imagery = ImageryTilesOfBox(box);
    std::stable_sort(wants.imagery.begin(), wants.imagery.end(), [](const ImageryTileId& a, const ImageryTileId& b) { return a.level < b.level; });
    char along[128];
    snprintf(along, sizeof along, "the box %.5f,%.5f,%.5f,%.5f", box.south, box.west, box.north, box.east);
    wants.along = along;
    return FetchWanted(wants, options, false, summary);
}

int FetchArea(const std::vector<std::string>& logPaths, const FetchOptions& options, FetchSummary* summary)
{
    FetchSummary ignored;
    summary = summary ? summary : &ignored;
    if (!SourcesAllowed(options, summary))
        return ExitBadInput;
    std::vector<CorridorPlan> plans;
    for (const std::string& logPath : logPaths)
    {
        if (!LoadFlightQuietly(logPath.c_str()))
            return Failed(summary, CommandStatus::BadInput, "no row of '" + logPath + "' is accepted (one needs gps_curlat and gps_curlon away from 0)");
        // The whole corridor, whatever a folder holds: only the cache is filled.
        CorridorPlan plan;
        plan.imagery = CorridorImageryTiles(MapFrame.CI, MapFrame.CJ, TilesUnderFlights({TableRows()}));
        plan.elevation = CorridorElevationTiles(MapFrame.CI, MapFrame.CJ, plan.imagery);
        plan.imageryPresent.assign(plan.imagery.size(), false);
        plan.elevationPresent.assign(plan.elevation.size(), false);
        plans.push_back(std::move(plan));
    }
    TileWants wants = WantsOfCorridor(MergeCorridorPlans(plans), true);
    wants.along = logPaths.size() == 1 ? "the whole flight" : "the " + std::to_string(logPaths.size()) + " flights";
    return FetchWanted(wants, options, false, summary);
}
