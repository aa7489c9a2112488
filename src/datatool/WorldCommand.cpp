#include "datatool/WorldCommand.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "app/FlightLoading.h"
#include "datatool/DataTool.h"
#include "datatool/FlightLogCheck.h"
#include "datatool/TrackCommand.h"
#include "geo/Geodesy.h"
#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "terrain/FlightCorridor.h"
#include "track/ConversionSummary.h"
#include "track/FlightFileConversion.h"
#include "viewer/SceneAssembly.h"
#include "world/DemImport.h"
#include "world/ImageryImport.h"
#include "world/TileFetch.h"
#include "world/TileFiles.h"
#include "worldgen/AircraftModel.h"
#include "worldgen/Textures.h"
#include "worldgen/WorldGenerator.h"

namespace fs = std::filesystem;

namespace
{

struct WorldArguments
{
    const char* flight = nullptr;
    std::string folder;
    bool offline = false;
    std::vector<std::string> dems;
    std::vector<std::string> imagery;
};

bool ParseWorldArguments(int argc, char** argv, WorldArguments* arguments)
{
    for (int i = 2; i < argc; ++i)
    {
        const char* argument = argv[i];
        const bool valued = i + 1 < argc;
        if (strcmp(argument, "--out") == 0 && valued)
            arguments->folder = argv[++i];
        else if (strcmp(argument, "--dem") == 0 && valued)
            arguments->dems.push_back(argv[++i]);
        else if (strcmp(argument, "--imagery") == 0 && valued)
            arguments->imagery.push_back(argv[++i]);
        else if (strcmp(argument, "--offline") == 0)
            arguments->offline = true;
        else if (strncmp(argument, "--", 2) != 0 && !arguments->flight)
            arguments->flight = argument;
        else
        {
            fprintf(stderr, "world: unknown or incomplete option '%s'\n", argument);
            return false;
        }
    }
    if (!arguments->flight)
    {
        PrintDataToolUsage(argv[0], stderr);
        return false;
    }
    return true;
}

// The file's name without its last extension: flight.ulg -> flight.
std::string Stem(const std::string& path)
{
    return fs::path(path).stem().string();
}

// Whether `newer` changed after `older`; true when either is missing.
bool ModifiedAfter(const std::string& newer, const std::string& older)
{
    std::error_code missing;
    const fs::file_time_type newerTime = fs::last_write_time(newer, missing);
    if (missing)
        return true;
    const fs::file_time_type olderTime = fs::last_write_time(older, missing);
    return missing || newerTime > olderTime;
}

// The demo world's own assets, made by its generator's code. A file that is there is kept:
// a user may have put a model or a sky of their own in its place.
bool WriteAssets()
{
    if (!EnsureDirectory("res") || !EnsureDirectory("EasyStar") || !EnsureDirectory("EasyStar/data"))
    {
        fprintf(stderr, "world: cannot make the folders of the assets\n");
        return false;
    }
    struct Asset
    {
        const char* name;
        std::function<std::string()> bytes;
    };
    const Asset assets[] = {
        {GrassTextureFile, [] { return EncodeJpeg(*MakeGrassImage(DefaultWorldSeed)); }},
        {SkyTextureFile, [] { return EncodeJpeg(*MakeSkyImage(DefaultWorldSeed)); }},
        {AircraftModelFile, [] { return FormatAc3d(MakeGliderModel()); }},
        {AircraftTextureFile, [] { return EncodeJpeg(*MakeShapeAircraftImage()); }},
    };
    int written = 0;
    for (const Asset& asset : assets)
    {
        if (FileExists(asset.name))
            continue;
        const std::string bytes = asset.bytes();
        if (bytes.empty() || !WriteFileAtomically(asset.name, bytes.data(), bytes.size()))
        {
            fprintf(stderr, "world: cannot write '%s'\n", asset.name);
            return false;
        }
        ++written;
    }
    if (written > 0)
        printf("sky, grass and aircraft written\n");
    return true;
}

} // namespace

std::string DefaultWorldFolder(const std::string& flightPath)
{
    const std::string data = UserFolder("XDG_DATA_HOME", ".local/share");
    return data.empty() ? data : data + "/flightreplay/worlds/" + Stem(flightPath);
}

void ReportMissingTiles(const CorridorPlan& plan, const char* why)
{
    const size_t elevationMissing = std::count(plan.elevationPresent.begin(), plan.elevationPresent.end(), false);
    const size_t imageryMissing = std::count(plan.imageryPresent.begin(), plan.imageryPresent.end(), false);
    if (elevationMissing > 0)
        fprintf(stderr, "world: %zu of %zu elevation tiles along the flight missing (%s): the replay draws flat ground at 0 m there; --dem RASTER imports heights\n", elevationMissing, plan.elevation.size(), why);
    if (imageryMissing > 0)
        fprintf(stderr, "world: %zu of %zu imagery tiles along the flight missing (%s): the replay draws grass there; --imagery SOURCE imports imagery\n", imageryMissing, plan.imagery.size(), why);
}

int RunWorldCommand(int argc, char** argv)
{
    WorldArguments arguments;
    if (!ParseWorldArguments(argc, argv, &arguments))
        return DataToolUsage;
    // The folder is worked in; every path the user gave is taken from here first.
    char resolved[PATH_MAX];
    switch (ClassifyLogFile(arguments.flight))
    {
    case LogFileKind::Unopenable:
        fprintf(stderr, "world: cannot open '%s'\n", arguments.flight);
        return 1;
    case LogFileKind::FlightLog:
        fprintf(stderr, "world: '%s' is a keyword log already: replay it in the folder of its tiles\n", arguments.flight);
        return WorldGivenKeywordLog;
    default:
        break;
    }
    if (!realpath(arguments.flight, resolved))
    {
        fprintf(stderr, "world: cannot open '%s'\n", arguments.flight);
        return 1;
    }
    const std::string flight = resolved;
    auto absolute = [](std::vector<std::string>* paths) {
        for (std::string& path : *paths)
            if (char where[PATH_MAX]; realpath(path.c_str(), where))
                path = where;
    };
    absolute(&arguments.dems);
    absolute(&arguments.imagery);

    std::string folder = arguments.folder.empty() ? DefaultWorldFolder(flight) : arguments.folder;
    if (folder.empty())
    {
        fprintf(stderr, "world: neither XDG_DATA_HOME nor HOME is set: give the folder with --out DIR\n");
        return DataToolUsage;
    }
    std::error_code failure;
    fs::create_directories(folder, failure);
    if (failure || chdir(folder.c_str()) != 0 || !getcwd(resolved, sizeof resolved))
    {
        fprintf(stderr, "world: cannot make or enter the folder '%s'\n", folder.c_str());
        return 1;
    }
    folder = resolved;

    // Given the world's own folder as --out, a flight named .log must not be written over.
    std::string log = Stem(flight) + ".log";
    if (folder + "/" + log == flight)
        log = Stem(flight) + ".replay.log";
    if (ModifiedAfter(flight, log))
    {
        FlightFileConversion conversion;
        std::string message;
        if (!ConvertFlightFile(flight, 0.0, &conversion, &message))
        {
            fprintf(stderr, "world: %s\n", message.c_str());
            return 1;
        }
        fputs(DerivedAttitudeNote(flight, conversion).c_str(), stderr);
        const std::string text = FormatConvertedLog(conversion.converted);
        if (!WriteFileAtomically(log, text.data(), text.size()))
        {
            fprintf(stderr, "world: cannot write '%s' in '%s'\n", log.c_str(), folder.c_str());
            return 1;
        }
        fputs(ConversionNotes(flight, conversion).c_str(), stderr);
        if (!WriteEventsBeside("world", EventsPathFor(log), conversion.converted.events, false))
            return 1;
        printf("log: %s\n", log.c_str());
    }
    if (!LoadFlightQuietly(log.c_str()))
    {
        fprintf(stderr, "world: no row of '%s' is accepted (one needs gps_curlat and gps_curlon away from 0)\n", log.c_str());
        return 1;
    }
    if (LatitudeBeyondMap(ComputeFlightStatistics()) != 0.0)
    {
        fprintf(stderr, "world: the flight reaches beyond the map's latitudes (\u00b1%.4f\u00b0): no terrain is drawn for it\n", MapLatitudeLimit);
        return 1;
    }

    // The rasters given cover what they can of the whole flight's corridor.
    const std::vector<ImageryTileId> imagery = CorridorImageryTiles(MapFrame.CI, MapFrame.CJ, TilesUnderLoadedFlight());
    if (!arguments.dems.empty() && ImportElevation(arguments.dems, CorridorElevationTiles(MapFrame.CI, MapFrame.CJ, imagery)) != 0)
        return 1;
    for (const std::string& source : arguments.imagery)
        if (ImportImagery(source, false, imagery) != 0)
            return 1;
    if (!WriteAssets())
        return 1;
    // What is still missing comes from the cache, then the network. A failed or refused
    // fetch leaves a world that replays all the same, over grass where tiles are missing: the
    // folder is printed, and the fetch's status tells a script why it is incomplete.
    FetchOptions options;
    if (!FetchOptionsFromEnvironment(&options))
        return DataToolUsage;
    options.offline = arguments.offline;
    const int fetched = FetchMissing(log, options);
    if (fetched < 0)
        return 1;
    const char* why = arguments.offline ? "offline" : fetched == 0 ? "no source has it" : "the fetch failed";
    ReportMissingTiles(PlanCorridor(MapFrame.CI, MapFrame.CJ, PlanReplayFiles(MapFrame.CI, MapFrame.CJ)), why);
    printf("%s\n", folder.c_str());
    return fetched;
}
