#include "datatool/DataTool.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <cpl_error.h>

#include "app/FlightLoading.h"
#include "app/RangeListParser.h"
#include "datatool/CheckCommand.h"
#include "datatool/CheckPlot.h"
#include "datatool/FlightLogCheck.h"
#include "datatool/TrackCommand.h"
#include "datatool/WorldCommand.h"
#include "geo/GeoTiles.h"
#include "geo/MapFrame.h"
#include "log/SampleTable.h"
#include "terrain/FlightCorridor.h"
#include "viewer/SceneAssembly.h"
#include "world/DemImport.h"
#include "world/ImageryImport.h"
#include "world/TileFetch.h"
#include "world/TilePlan.h"

// Where the tiles to fetch come from: the flight in a log, as the replay frames it, or a box.
struct AreaArguments
{
    const char* log = nullptr;
    const char* samples = nullptr;
    const char* box = nullptr;
};

// Splits the arguments after the command into sources and area options. False after the
// usage text on anything it cannot place.
static bool ParseAreaCommand(int argc, char** argv, std::vector<std::string>* sources, AreaArguments* area, bool* tms)
{
    for (int i = 2; i < argc; ++i)
    {
        const char* argument = argv[i];
        if (strcmp(argument, "--log") == 0 && i + 1 < argc)
            area->log = argv[++i];
        else if (strcmp(argument, "--samples") == 0 && i + 1 < argc)
            area->samples = argv[++i];
        else if (strcmp(argument, "--bbox") == 0 && i + 1 < argc)
            area->box = argv[++i];
        else if (tms && strcmp(argument, "--tms") == 0)
            *tms = true;
        else if (strncmp(argument, "--", 2) == 0)
        {
            fprintf(stderr, "%s: unknown or incomplete option '%s'\n", argv[1], argument);
            return false;
        }
        else
            sources->push_back(argument);
    }
    if (sources->empty() || (area->log == nullptr) == (area->box == nullptr) || (area->samples && !area->log))
    {
        PrintDataToolUsage(argv[0], stderr);
        return false;
    }
    return true;
}

static int RunAreaCommand(int argc, char** argv)
{
    const bool imagery = strcmp(argv[1], "imagery") == 0;
    std::vector<std::string> sources;
    AreaArguments area;
    bool tms = false;
    if (!ParseAreaCommand(argc, argv, &sources, &area, imagery ? &tms : nullptr))
        return DataToolUsage;
    if (imagery && sources.size() != 1)
    {
        fprintf(stderr, "imagery: one source at a time\n");
        return DataToolUsage;
    }

    std::vector<ElevationTileId> elevationTiles;
    std::vector<ImageryTileId> imageryTiles;
    if (area.box)
    {
        GeoBox box;
        if (!ParseGeoBox(area.box, &box))
        {
            fprintf(stderr, "%s: '%s' is no box S,W,N,E in degrees (south < north, west < east)\n", argv[1], area.box);
            return DataToolUsage;
        }
        elevationTiles = ElevationTilesOfBox(box);
        imageryTiles = ImageryTilesOfBox(box);
    }
    else
    {
        if (!AcceptFlightLog(argv[1], area.log))
            return DataToolUsage;
        // Read as the replay reads it, but without its transcript: the import's output is the
        // tiles it makes (`plan` shows the transcript). The statuses are the replay's.
        if (ClassifyLogFile(area.log) == LogFileKind::Unopenable)
        {
            fprintf(stderr, "%s: cannot open '%s'\n", argv[1], area.log);
            return -2;
        }
        if (area.samples)
            SelectSamples(area.samples);
        if (!LoadFlightQuietly(area.log))
        {
            fprintf(stderr, "%s: no row of '%s' is accepted (one needs gps_curlat and gps_curlon away from 0 and a selected sample number)\n", argv[1], area.log);
            return -4;
        }
        // The whole flight's corridor, the rings' tiles first.
        imageryTiles = CorridorImageryTiles(MapFrame.CI, MapFrame.CJ, TilesUnderLoadedFlight());
        elevationTiles = CorridorElevationTiles(MapFrame.CI, MapFrame.CJ, imageryTiles);
    }
    // An import fails on what it was given: a raster it cannot open or read.
    const int imported = imagery ? ImportImagery(sources.front(), tms, imageryTiles) : ImportElevation(sources, elevationTiles);
    return imported == 0 ? ExitDone : ExitBadInput;
}

static int RunFetchCommand(int argc, char** argv)
{
    FetchOptions options;
    if (!FetchOptionsFromEnvironment(&options))
        return DataToolUsage;
    const char* log = nullptr;
    for (int i = 2; i < argc; ++i)
    {
        const char* argument = argv[i];
        if (strcmp(argument, "--offline") == 0)
            options.offline = true;
        else if (strcmp(argument, "--dry-run") == 0)
            options.dryRun = true;
        else if (strcmp(argument, "--max-tiles") == 0 && i + 1 < argc)
        {
            if (!ParseMaxTiles("fetch", argv[++i], &options))
                return DataToolUsage;
        }
        else if (strncmp(argument, "--", 2) == 0 || log)
        {
            fprintf(stderr, "fetch: unknown or incomplete option '%s'\n", argument);
            return DataToolUsage;
        }
        else
            log = argument;
    }
    if (!log)
    {
        PrintDataToolUsage(argv[0], stderr);
        return DataToolUsage;
    }
    if (!AcceptFlightLog("fetch", log))
        return DataToolUsage;
    return FetchMissing(log, options);
}

int RunDataTool(int argc, char** argv)
{
    if (argc < 2)
    {
        PrintDataToolUsage(argv[0], stderr);
        return DataToolUsage;
    }
    // GDAL's own messages would add lines to ours; each failure is told in one line, with
    // GDAL's reason where it gave one (CPLGetLastErrorMsg).
    CPLSetErrorHandler(CPLQuietErrorHandler);
    // Asking for help is no mistake, wherever it stands: the usage on stdout, status 0.
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0)
        {
            PrintDataToolUsage(argv[0], stdout);
            return 0;
        }
    const char* command = argv[1];
    if (strcmp(command, "plan") == 0)
    {
        if (argc >= 3 && !AcceptFlightLog("plan", argv[2]))
            return DataToolUsage;
        // The replay's own command line after the command's name.
        const std::string name = std::string(argv[0]) + " plan";
        return RunPlan(name.c_str(), std::vector<const char*>(argv + 2, argv + argc));
    }
    if (strcmp(command, "dem") == 0 || strcmp(command, "imagery") == 0)
        return RunAreaCommand(argc, argv);
    if (strcmp(command, "fetch") == 0)
        return RunFetchCommand(argc, argv);
    if (strcmp(command, "world") == 0)
        return RunWorldCommand(argc, argv);
    if (strcmp(command, "track") == 0)
        return RunTrackCommand(argc, argv);
    if (strcmp(command, "check") == 0)
        return RunCheck(argc, argv, WriteCheckPlot);
    PrintDataToolUsage(argv[0], stderr);
    return DataToolUsage;
}
