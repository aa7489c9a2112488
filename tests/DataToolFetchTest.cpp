#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/DataToolSupport.h"
#include "batch/CommandReport.h"
#include "flight/FlightLoading.h"
#include "terrain/FlightCorridor.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "support/SceneFiles.h"
#include "support/ServedElevation.h"
#include "terrain/FlightCorridor.h"
#include "world/TileCoverage.h"
#include "world/TileFetch.h"
#include "world/TilePlan.h"

namespace fs = std::filesystem;

namespace
{

// The middle of elevation tile (92, 134), around 44.6 N 9.1 E: its 1.4 degrees reach over
// several 1-degree squares, of which the server has only the flight's.
const int32_t TileRow = 92, TileColumn = 134;
const double CentreRow = TileRow * 1024 + 512, CentreColumn = TileColumn * 1024 + 512;

// The test server (support/range_http_server.py) on a free port, stopped with the object.
class TestServer
{
public:
    TestServer(const std::string& root, const std::string& log)
    {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        pid = fork();
        if (pid == 0)
        {
            dup2(out[1], 1);
            execl("/usr/bin/python3", "python3", FLIGHTREPLAY_TEST_SERVER, root.c_str(), log.c_str(), nullptr);
            _exit(127);
        }
        close(out[1]);
        FILE* reader = fdopen(out[0], "r");
        EXPECT_EQ(fscanf(reader, "%d", &port), 1);
        fclose(reader);
    }
    ~TestServer()
    {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port); }

private:
    pid_t pid = -1;
    int port = 0;
};

// A request the server logged: time, method, path, range, user agent, status, and the
// client's port, which tells the connections apart.
struct Request
{
    double time;
    std::string method, path, range, agent;
    int status, port;
};

std::vector<Request> Requests(const std::string& log)
{
    std::vector<Request> requests;
    if (!fs::exists(log))
        return requests;
    for (const std::string& line : SplitLines(ReadWholeFile(log)))
    {
        const std::vector<std::string> f = SplitFields(line, ' ');
        if (f.size() == 7)
            requests.push_back(Request{std::stod(f[0]), f[1], f[2], f[3], f[4], std::stoi(f[5]), std::stoi(f[6])});
    }
    return requests;
}

std::vector<std::string> FilesUnder(const std::string& folder)
{
    std::vector<std::string> files;
    if (fs::exists(folder))
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (!entry.is_directory())
                files.push_back(entry.path().string());
    return files;
}

} // namespace

class FetchTest : public DataToolFixture
{
protected:
    // world/flight.log: 20 s northwards from the middle of the served square; its points.
    static std::vector<TimedPosition> WriteFlight(double* latitude, double* longitude)
    {
        *latitude = GridRowLatitude(CentreRow);
        *longitude = GridColumnLongitude(CentreColumn);
        std::vector<TimedPosition> points;
        for (int t = 0; t <= 20; ++t)
            points.push_back(TimedPosition{36000.0 + t, *latitude + 0.0002 * t, *longitude, 400.0});
        WriteText("world/flight.log", TrackLogText(ConvertTrackPoints(points, 1.0)));
        return points;
    }
};

// One world fetched step by step from a local server: what each run asks of the server and
// leaves in the world.
TEST_F(FetchTest, FetchesWhatIsMissingOnceAndNothingHalfDone)
{
    double latitude = 0.0, longitude = 0.0;
    WriteFlight(&latitude, &longitude);
    const std::string root = scratch.PathOf("served"), log = scratch.PathOf("requests.log");
    ASSERT_TRUE(WriteServedElevationSquare(root + "/dem", int(std::floor(latitude)), int(std::floor(longitude))));
    WriteText("served/.any", EncodedImage(256, 256, SolidColour(20, 200, 40), "jpg"));
    TestServer server(root, log);

    struct Step
    {
        const char* what;
        std::string faults;
        std::string imageryUrl; // empty: the server's
        bool offline, dryRun;
        int status;
        bool requests;     // whether the step asks the server anything
        std::string said;  // in its output
        bool imported;     // whether the world then holds the tile and imagery
    };
    const std::vector<Step> steps = {
        {"dry run", "", "", false, true, 0, false, "nothing fetched (dry run)", false},
        {"offline, empty cache", "", "", true, false, 0, false, "missing " + server.Url() + "/dem/", false},
        {"forbidden host", "", "https://b.tile.openstreetmap.org/{z}/{x}/{y}.png", false, false, ExitBadInput, false, "usage policy forbids", false},
        // The source's own answers, which no retry changes, before the elevation is cached.
        {"elevation unauthorised", "401 /dem/", "", false, false, ExitBadInput, true, "HTTP status 401 (unauthorised", false},
        {"a page for the elevation", "html /dem/", "", false, false, ExitBadInput, true, "answered an HTML page where a GeoTIFF should be", false},
        {"download cut off", "any /xyz/\ncut /xyz/13/", "", false, false, FetchNetworkFailure, true, "nothing imported", false},
        {"imagery forbidden", "403 /xyz/", "", false, false, ExitBadInput, true, "HTTP status 403 (forbidden)", false},
        {"a page for a tile", "any /xyz/\nhtml /xyz/13/", "", false, false, ExitBadInput, true, "answered an HTML page with status 200, not a picture; not kept", false},
        {"busy once", "any /xyz/\nbusy /xyz/", "", false, false, 0, true, "in squares the source does not have (sea, 0 m)", true},
        {"second run", "any /xyz/", "", false, false, 0, false, "0 downloads needed", true},
    };
    const std::string elevationTile = "world/" + ElevationTileFileName(TileRow, TileColumn);
    // What a killed fetch left two hours ago, under a process number no process has: the
    // first run that downloads clears it away; one that only reads the cache leaves it.
    for (const char* leftover : {"cache/dem/x.tif.partial-999999999", "cache/staging-999999999/13/1/2.jpg"})
    {
        WriteText(leftover, "half");
        fs::last_write_time(scratch.PathOf(leftover), fs::file_time_type::clock::now() - std::chrono::hours(2));
    }
    fs::last_write_time(scratch.PathOf("cache/staging-999999999"), fs::file_time_type::clock::now() - std::chrono::hours(2));
    bool downloaded = false;
    for (const Step& step : steps)
    {
        SCOPED_TRACE(step.what);
        WriteText("served/.faults", step.faults + "\n");
        FetchOptions options;
        options.cacheFolder = scratch.PathOf("cache");
        options.demUrl = server.Url() + "/dem/{tile}/{tile}.tif";
        options.imageryUrl = step.imageryUrl.empty() ? server.Url() + "/xyz/{z}/{x}/{y}.jpg" : step.imageryUrl;
        options.imageryMaxZoom = 13;
        options.offline = step.offline;
        options.dryRun = step.dryRun;
        options.requestInterval = 0.0;
        const size_t before = Requests(log).size();
        OutputCapture capture(true);
        const int status = FetchMissing("world/flight.log", options);
        const std::string out = capture.Finish() + capture.Errors();
        EXPECT_EQ(status, step.status) << out << ReadWholeFile(log);
        EXPECT_EQ(Requests(log).size() > before, step.requests) << out;
        downloaded = downloaded || step.requests;
        EXPECT_NE(out.find(step.said), std::string::npos) << out;
        EXPECT_EQ(Exists(elevationTile), step.imported);
        EXPECT_EQ(Exists("world/img"), step.imported);
        for (const std::string& file : FilesUnder(scratch.PathOf("cache")))
        {
            const bool leftover = file.find(".partial") != std::string::npos || file.find("staging-") != std::string::npos;
            EXPECT_TRUE(!downloaded || !leftover) << file;
            EXPECT_EQ(ReadWholeFile(file).find("<html>"), std::string::npos) << "a page kept as a tile: " << file;
        }
    }

    // Ranges of the served raster, the program's name on every request, the missing squares
    // answered 404 (sea), and the one busy answer waited out for its Retry-After.
    const std::vector<Request> requests = Requests(log);
    int ranged = 0, missing = 0;
    for (const Request& request : requests)
    {
        EXPECT_EQ(request.agent.rfind("flightreplay/0.1.0", 0), 0u) << request.agent;
        ranged += request.range.rfind("bytes=", 0) == 0 && request.path.find(".tif") != std::string::npos;
        missing += request.status == 404;
    }
    EXPECT_GT(ranged, 0);
    EXPECT_GT(missing, 0);
    for (size_t i = 0; i < requests.size(); ++i)
        if (requests[i].status == 429)
        {
            ASSERT_LT(i + 1, requests.size());
            EXPECT_EQ(requests[i + 1].path, requests[i].path);
            EXPECT_GE(requests[i + 1].time - requests[i].time, 0.9);
        }

    // The served heights in the flight's square, 0 m with a height in the 404 squares.
    CoveredTile tile;
    std::string reason;
    ASSERT_TRUE(LoadCoveredTile(elevationTile, &tile, &reason)) << reason;
    const size_t centre = 512 * ElevationTileSamples + 512;
    EXPECT_NEAR(tile.heights[centre], ServedElevation(latitude, longitude), 2.0);
    const size_t corner = 0; // north-west corner: 45.1 N 8.4 E, outside the served square
    EXPECT_EQ(tile.heights[corner], 0);
    EXPECT_NE(tile.qualities[corner], HeightQuality::None);
    EXPECT_TRUE(Exists("world/ATTRIBUTION.txt"));

    // Every imagery tile along the flight is there, the rings' and those out to the
    // corridor's edge beyond them.
    const LoadedFlight flight = LoadLogQuietly("world/flight.log");
    const MapFrameValues frame = flight.Frame();
    const std::vector<ImageryTileId> corridor = CorridorImageryTiles(frame.CI, frame.CJ, TilesUnderFlights({flight.Rows()}));
    ASSERT_GT(corridor.size(), ImageryTilesOfFlight(frame.CI, frame.CJ).size());
    for (const ImageryTileId& tile : corridor)
        ASSERT_TRUE(Exists("world/" + ImageryFileName(tile))) << ImageryFileName(tile);
}

// The elevation of a box around the corner where four elevation tiles meet, each reaching
// into the same squares: every request, GDAL's ranges of the served square's windows too, made
// by our own client over one connection, each square asked about once, and a Retry-After
// given as an HTTP date waited out as such.
TEST_F(FetchTest, ElevationWindowsReadWithTheClientsManners)
{
    const double latitude = GridRowLatitude(93 * 1024.0), longitude = GridColumnLongitude(135 * 1024.0);
    const std::string root = scratch.PathOf("served"), log = scratch.PathOf("requests.log");
    ASSERT_TRUE(WriteServedElevationSquare(root + "/dem", int(std::floor(latitude)), int(std::floor(longitude))));
    WriteText("served/.faults", "busydate /dem/\n");
    TestServer server(root, log);
    FetchOptions options;
    options.cacheFolder = scratch.PathOf("cache");
    options.demUrl = server.Url() + "/dem/{tile}/{tile}.tif";
    options.imageryUrl = "none";
    options.requestInterval = 0.0;
    OutputCapture capture(true);
    const int status = FetchArea(GeoBox{latitude - 0.005, longitude - 0.005, latitude + 0.005, longitude + 0.005}, options);
    const std::string err = (capture.Finish(), capture.Errors());
    ASSERT_EQ(status, 0) << err;

    const std::vector<Request> requests = Requests(log);
    std::smatch counted;
    ASSERT_TRUE(std::regex_search(err, counted, std::regex("fetch: (\\d+) requests \\("))) << err;
    EXPECT_EQ(counted[1], std::to_string(requests.size())) << "requests the server saw";
    std::map<std::string, int> heads;
    int ranged = 0;
    for (const Request& request : requests)
    {
        EXPECT_EQ(request.port, requests.front().port) << "a second connection for " << request.path;
        heads[request.path] += request.method == "HEAD" && request.status != 429;
        ranged += request.range != "-";
    }
    EXPECT_GT(heads.size(), 4u);
    for (const auto& [path, count] : heads)
        EXPECT_LE(count, 1) << path;
    EXPECT_GT(ranged, 0);
    std::smatch retry;
    ASSERT_TRUE(std::regex_search(err, retry, std::regex("answered 429, trying again in (\\d+) s"))) << err;
    EXPECT_LE(std::stoi(retry[1]), 2) << "the date is a second or two ahead";
}

// A stop signal while a download stalls half-way: fetch and world end with the interrupted
// status and their object, and leave no half-written file in the cache.
TEST_F(FetchTest, StopSignalsEndTheRunInterruptedWithNothingHalfDone)
{
    double latitude = 0.0, longitude = 0.0;
    WriteText("flight.gpx", CircleGpx(WriteFlight(&latitude, &longitude)));
    WriteText("served/.any", EncodedImage(256, 256, SolidColour(20, 200, 40), "jpg"));
    WriteText("served/.faults", "any /xyz/\nstall /xyz/\n");
    const std::string log = scratch.PathOf("requests.log");
    TestServer server(scratch.PathOf("served"), log);
    const std::vector<std::string> environment = {"FLIGHTREPLAY_CACHE=" + scratch.PathOf("cache"), "FLIGHTREPLAY_DEM_URL=none", "FLIGHTREPLAY_IMAGERY_URL=" + server.Url() + "/xyz/{z}/{x}/{y}.jpg", "FLIGHTREPLAY_IMAGERY_MAXZOOM=13"};
    // The signal once the download has begun, that is once the server logged it.
    const std::string signalled = "\"$0\" \"$@\" >out.json & until [ -s requests.log ]; do sleep 0.05; done; kill -$SIGNAL $!; wait $!";
    for (const std::vector<std::string>& run : {std::vector<std::string>{"TERM", "fetch", "world/flight.log", "--json"}, {"HUP", "world", "flight.gpx", "--out", "w", "--json"}})
    {
        SCOPED_TRACE(run[1]);
        fs::remove(log);
        std::vector<std::string> arguments = {"-c", signalled, FLIGHTREPLAY_DATA_BINARY};
        arguments.insert(arguments.end(), run.begin() + 1, run.end());
        std::vector<std::string> settings = environment;
        settings.push_back("SIGNAL=" + run[0]);
        const RunResult result = RunProgram("/bin/sh", ".", arguments, settings);
        EXPECT_EQ(result.status, ExitInterrupted) << result.err;
        const nlohmann::json object = nlohmann::json::parse(ReadText("out.json"), nullptr, false);
        EXPECT_EQ(object.is_object() ? object["status"] : "", "interrupted") << ReadText("out.json");
        for (const std::string& file : FilesUnder(scratch.PathOf("cache")))
            EXPECT_EQ(file.find(".partial"), std::string::npos) << file;
    }
}

// world --skip-existing takes up a world whose last run did not end well, and skips it only
// once one did: a world made offline is no world fetched, a download cut off or one the limit
// left incomplete no world at all. The limit is named as the reason for what is missing.
TEST_F(FetchTest, SkipsOnlyAWorldWhoseLastRunEndedWell)
{
    double latitude = 0.0, longitude = 0.0;
    WriteText("flight.gpx", CircleGpx(WriteFlight(&latitude, &longitude)));
    WriteText("served/.any", EncodedImage(256, 256, SolidColour(20, 200, 40), "jpg"));
    TestServer server(scratch.PathOf("served"), scratch.PathOf("requests.log"));
    const std::vector<std::string> environment = {"FLIGHTREPLAY_CACHE=" + scratch.PathOf("cache"), "FLIGHTREPLAY_DEM_URL=none", "FLIGHTREPLAY_IMAGERY_URL=" + server.Url() + "/xyz/{z}/{x}/{y}.jpg", "FLIGHTREPLAY_IMAGERY_MAXZOOM=11"};
    const struct
    {
        const char* faults;
        std::string option;
        int status;
        bool skipped;
        const char* said;
    } runs[] = {
        {"", "--offline", 0, false, "missing (offline)"},
        {"any /xyz/\ncut /xyz/", "", 75, false, "missing (the fetch failed)"}, // not skipped for being offline
        // The replay's own take 4 downloads, the corridor 5 more.
        {"any /xyz/", "--max-tiles=4", 0, false, "imagery tiles along the flight missing (the limit of 4 downloads a run left 5 downloads for later: run world again, or raise the limit with --max-tiles 9)"},
        {"any /xyz/", "", 0, false, "5 downloads needed (the replay's own: 0)"}, // what the limit left
        {"any /xyz/", "", 0, true, "skipped"},
        {"", "--offline", 0, true, "skipped"}, // a world fetched serves offline too
    };
    for (const auto& run : runs)
    {
        SCOPED_TRACE(run.faults + run.option);
        WriteText("served/.faults", std::string(run.faults) + "\n");
        std::vector<std::string> arguments = {"world", "flight.gpx", "--out", "w", "--json", "--skip-existing"};
        if (!run.option.empty())
            arguments.push_back(run.option.substr(0, run.option.find('=')));
        if (run.option.find('=') != std::string::npos)
            arguments.push_back(run.option.substr(run.option.find('=') + 1));
        const RunResult result = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", arguments, environment);
        EXPECT_EQ(result.status, run.status) << result.err;
        EXPECT_NE(result.err.find(run.said), std::string::npos) << result.err;
        const nlohmann::json object = nlohmann::json::parse(SplitLines(result.out).front(), nullptr, false);
        EXPECT_EQ(object.is_object() && object["skipped"] == run.skipped, true) << result.out;
    }
    EXPECT_TRUE(Exists("w/img"));
}

// A site's cache filled in advance by two workers at once, then used read-only and offline
// by a third that imports from it; the JSON each prints, and the statuses by cause.
TEST_F(FetchTest, FillsASharedCacheForAnAreaThatOfflineWorkersReadOnly)
{
    double latitude = 0.0, longitude = 0.0;
    const std::vector<TimedPosition> points = WriteFlight(&latitude, &longitude);
    // The box over the flight's whole corridor: what a worker replaying it will read.
    const LoadedFlight flight = LoadLogQuietly("world/flight.log");
    const MapFrameValues frame = flight.Frame();
    GeoBox box = {90, 540, -90, -540};
    for (const ImageryTileId& tile : CorridorImageryTiles(frame.CI, frame.CJ, TilesUnderFlights({flight.Rows()})))
    {
        const GeoBox part = BoxOfTile(tile);
        box = {std::min(box.south, part.south), std::min(box.west, part.west), std::max(box.north, part.north), std::max(box.east, part.east)};
    }
    char area[128];
    snprintf(area, sizeof area, "%.6f,%.6f,%.6f,%.6f", box.south + 1e-6, box.west + 1e-6, box.north - 1e-6, box.east - 1e-6);

    const std::string root = scratch.PathOf("served"), cache = scratch.PathOf("cache");
    ASSERT_TRUE(WriteServedElevationSquare(root + "/dem", int(std::floor(latitude)), int(std::floor(longitude))));
    const std::string picture = EncodedImage(256, 256, SolidColour(20, 200, 40), "jpg");
    WriteText("served/.any", picture);
    WriteText("served/.faults", "any /xyz/\n");
    auto environment = [&](const std::string& url, const std::string& cacheFolder) {
        return std::vector<std::string>{"FLIGHTREPLAY_CACHE=" + cacheFolder, "FLIGHTREPLAY_DEM_URL=" + url + "/dem/{tile}/{tile}.tif", "FLIGHTREPLAY_IMAGERY_URL=" + url + "/xyz/{z}/{x}/{y}.jpg", "FLIGHTREPLAY_IMAGERY_MAXZOOM=9"};
    };
    auto report = [](const RunResult& run) {
        const nlohmann::json object = nlohmann::json::parse(run.out);
        EXPECT_EQ(object["command"], "fetch");
        EXPECT_EQ(object["exit"], run.status);
        return object;
    };
    std::string url; // the sources' address names their folders in the cache
    {
        TestServer server(root, scratch.PathOf("requests.log"));
        url = server.Url();
        const std::string tool = FLIGHTREPLAY_DATA_BINARY, fetch = " fetch --area " + std::string(area) + " --json";
        // The first on a terminal of its own, which shows the progress; the second's standard
        // error a pipe, as in a log.
        const std::string onTerminal = "python3 -c 'import pty, sys; sys.exit(pty.spawn(sys.argv[1:]) >> 8)' sh -c '\"$0\"" + fetch + " >one.json' \"$0\" >one.tty";
        const RunResult both = RunProgram("/bin/sh", ".", {"-c", onTerminal + " & \"$0\"" + fetch + " >two.json; a=$?; wait $!; exit $((a | $?))", tool}, environment(server.Url(), cache), 120);
        ASSERT_EQ(both.status, 0) << both.err;
        EXPECT_EQ(both.err.find('\r'), std::string::npos) << both.err;
        // Which worker downloads what is the scheduler's choice: on a busy machine one may find
        // every file already in the cache. Together they download everything, each file whole.
        size_t downloaded = 0, needed = 0, absentInAll = 0;
        for (const char* name : {"one.json", "two.json"})
        {
            RunResult run;
            run.out = ReadText(name);
            run.status = 0;
            const nlohmann::json object = report(run);
            EXPECT_EQ(object["status"], "done");
            needed = object["counts"]["downloads_needed"].get<size_t>() + object["counts"]["cached"].get<size_t>();
            // The squares the server lacks are no download of data, but known.
            const size_t absent = object["counts"]["not_in_source"].get<size_t>();
            absentInAll += absent;
            downloaded += object["counts"]["downloaded"].get<size_t>() + absent;
            EXPECT_EQ(object["counts"]["missing"], 0);
            EXPECT_EQ(object["written"].size(), object["counts"]["downloaded"].get<size_t>() + absent);
            // The one on a terminal shows its progress there, whenever it downloads.
            if (std::string(name) == "one.json" && object["counts"]["downloaded"].get<size_t>() > 0)
            {
                EXPECT_TRUE(std::regex_search(ReadText("one.tty"), std::regex("\rfetch: \\d+ of \\d+ downloads, [0-9.]+ MB, [0-9.]+ a second, "))) << ReadText("one.tty");
            }
        }
        EXPECT_GT(absentInAll, 0u);
        EXPECT_GE(downloaded, needed);

        // Whole files only, whoever renamed last: the pictures as served, the elevation windows
        // readable to their last row; each file the box needs once.
        GDALAllRegister();
        const std::vector<std::string> files = FilesUnder(cache);
        EXPECT_EQ(files.size(), needed);
        for (const std::string& file : files)
        {
            const std::string suffix = file.substr(file.find_last_of('.'));
            if (suffix == ".tile")
            {
                EXPECT_EQ(ReadWholeFile(file), picture) << file;
                continue;
            }
            ASSERT_EQ(suffix, ".tif") << file;
            std::unique_ptr<GDALDataset, void (*)(GDALDataset*)> raster(static_cast<GDALDataset*>(GDALOpen(file.c_str(), GA_ReadOnly)), [](GDALDataset* d) { GDALClose(d); });
            ASSERT_TRUE(raster) << file;
            std::vector<float> row(raster->GetRasterXSize());
            EXPECT_EQ(raster->GetRasterBand(1)->RasterIO(GF_Read, 0, raster->GetRasterYSize() - 1, raster->GetRasterXSize(), 1, row.data(), raster->GetRasterXSize(), 1, GDT_Float32, 0, 0), CE_None) << file;
        }
    }

    // The server is gone: workers offline read the cache, which they may not write: fetches
    // of a log and of a flight file and a world import the flight's tiles from it, and the
    // corridor of a flight file is found all there.
    WriteText("flight.gpx", CircleGpx(points));
    const std::string tile = ElevationTileFileName(TileRow, TileColumn);
    ASSERT_EQ(system(("chmod -R a-w '" + cache + "'").c_str()), 0);
    const std::vector<TreeEntry> before = SnapshotTree(cache);
    const struct
    {
        std::vector<std::string> arguments;
        std::string made; // the tile imported, if any
    } readers[] = {
        {{"fetch", "world/flight.log", "--offline", "--json"}, "world/" + tile},
        {{"fetch", "flight.gpx", "--offline", "--json"}, tile}, // any flight file, into its folder
        {{"world", "flight.gpx", "--offline", "--out", "other"}, "other/" + tile},
        {{"fetch", "--area", "flight.gpx", "--offline", "--json"}, ""},
    };
    for (const auto& reader : readers)
    {
        SCOPED_TRACE(reader.arguments[1]);
        std::vector<std::string> settings = environment(url, cache);
        if (reader.arguments[0] == "world")
            settings[2] = "FLIGHTREPLAY_IMAGERY_URL=none"; // the elevation is enough, and quicker
        const RunResult run = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", reader.arguments, settings);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(DescribeTreeChange(before, SnapshotTree(cache)), "");
        EXPECT_TRUE(reader.made.empty() || Exists(reader.made)) << run.err;
        if (reader.arguments[0] != "fetch")
            continue;
        const nlohmann::json object = report(run);
        EXPECT_EQ(object["counts"]["downloads_needed"], 0) << run.err;
        EXPECT_GT(object["counts"]["cached"], 0);
        EXPECT_EQ(object.dump().find(tile) != std::string::npos, !reader.made.empty());
    }
    EXPECT_EQ(system(("chmod -R u+w '" + cache + "'").c_str()), 0);

    // Statuses by cause: a cache that cannot be written without --offline is no case for a
    // retry; nor is a command line the tool does not understand.
    WriteText("file", "not a folder");
    const struct
    {
        std::vector<std::string> arguments;
        std::string cache;
        int status;
        const char* said;
    } cases[] = {
        {{"fetch", "--area", area, "--json"}, scratch.PathOf("file/cache"), ExitBadInput, "FLIGHTREPLAY_CACHE"},
        {{"fetch", "--area", "--json"}, cache, ExitUsage, "fetch: --area needs a value"},
        {{"fetch", "--area", "no-such-flight", "--json"}, cache, ExitBadInput, "cannot open"},
    };
    for (const auto& each : cases)
    {
        const RunResult run = RunProgram(FLIGHTREPLAY_DATA_BINARY, ".", each.arguments, environment("http://127.0.0.1:9", each.cache));
        EXPECT_EQ(run.status, each.status) << run.err;
        EXPECT_NE(run.err.find(each.said), std::string::npos) << run.err;
        EXPECT_EQ(report(run)["status"], run.status == ExitUsage ? "usage" : "bad-input");
    }
}
