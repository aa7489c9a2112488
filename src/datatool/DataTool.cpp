#include "datatool/DataTool.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <cpl_error.h>

#include "batch/CommandReport.h"
#include "flight/LoadedFlight.h"
#include "flight/RangeListParser.h"
#include "datatool/CheckCommand.h"
#include "datatool/CheckPlot.h"
#include "datatool/FlightLogCheck.h"
#include "datatool/TrackCommand.h"
#include "datatool/WorldCommand.h"
#include "geo/GeoTiles.h"
#include "geo/MapProjection.h"
#include "terrain/FlightCorridor.h"
#include "track/FlightConversion.h"
#include "track/FlightFileConversion.h"
#include "track/FlightFormats.h"
#include "terrain/FlightCorridor.h"
#include "world/DemImport.h"
#include "world/ImageryImport.h"
#include "world/TileFiles.h"
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
        LoadedFlight flight;
        if (LoadFlight(area.log, nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight) != 0)
        {
            fprintf(stderr, "%s: no row of '%s' is accepted (one needs gps_curlat and gps_curlon away from 0 and a selected sample number)\n", argv[1], area.log);
            return -4;
        }
        // The whole flight's corridor, the rings' tiles first.
        const MapFrameValues frame = flight.Frame();
        imageryTiles = CorridorImageryTiles(frame.CI, frame.CJ, TilesUnderFlights({flight.Rows()}));
        elevationTiles = CorridorElevationTiles(frame.CI, frame.CJ, imageryTiles);
    }
    // An import fails on what it was given: a raster it cannot open or read.
    const int imported = imagery ? ImportImagery(sources.front(), tms, imageryTiles) : ImportElevation(sources, elevationTiles);
    return imported == 0 ? ExitDone : ExitBadInput;
}

// A flight file as a keyword log the fetch can read: the log itself, else its conversion in
// `folder`. Empty after a line on stderr when it cannot be read.
static std::string FetchableLog(const std::string& flight, const std::string& folder, size_t index)
{
    switch (ClassifyLogFile(flight))
    {
    case LogFileKind::FlightLog:
        return flight;
    case LogFileKind::Unopenable:
        fprintf(stderr, "fetch: cannot open '%s'\n", flight.c_str());
        return "";
    default:
        break;
    }
    FlightFileConversion conversion;
    std::string message;
    if (!ConvertFlightFile(flight, 0.0, &conversion, &message))
    {
        fprintf(stderr, "fetch: %s\n", message.c_str());
        return "";
    }
    const std::string log = folder + "/" + std::to_string(index) + ".log";
    const std::string text = FormatConvertedLog(conversion.converted);
    if (!WriteFileAtomically(log, text.data(), text.size()))
    {
        fprintf(stderr, "fetch: cannot write '%s'\n", log.c_str());
        return "";
    }
    return log;
}

static int RunFetchCommand(int argc, char** argv)
{
    bool json = false;
    for (int i = 2; i < argc; ++i)
        json = json || strcmp(argv[i], "--json") == 0;
    CommandReport report("fetch", json);
    // A signal ends the run between two downloads, or cuts the one under way, with its report.
    CatchStopSignals();
    FetchOptions options;
    if (!FetchOptionsFromEnvironment(&options))
        return report.Finish(CommandStatus::Usage, "a FLIGHTREPLAY_* setting is malformed");
    const char* area = nullptr;
    std::vector<std::string> flights;
    for (int i = 2; i < argc; ++i)
    {
        const char* argument = argv[i];
        if (strcmp(argument, "--offline") == 0)
            options.offline = true;
        else if (strcmp(argument, "--dry-run") == 0)
            options.dryRun = true;
        else if (strcmp(argument, "--json") == 0)
            continue;
        else if (strcmp(argument, "--area") == 0 && i + 1 < argc && strncmp(argv[i + 1], "--", 2) != 0 && !area)
            area = argv[++i];
        else if (strcmp(argument, "--max-tiles") == 0 && i + 1 < argc)
        {
            if (!ParseMaxTiles("fetch", argv[++i], &options))
                return report.Finish(CommandStatus::Usage, std::string("bad --max-tiles '") + argv[i] + "'");
        }
        else if (strncmp(argument, "--", 2) == 0 || (!area && !flights.empty()))
        {
            fprintf(stderr, "fetch: unknown or incomplete option '%s'\n", argument);
            return report.Finish(CommandStatus::Usage, std::string("unknown or incomplete option '") + argument + "'");
        }
        else
            flights.push_back(argument);
    }
    if (!area && flights.empty())
    {
        PrintDataToolUsage(argv[0], stderr);
        return report.Finish(CommandStatus::Usage, "no log to fetch for");
    }
    // The words of the summary, whatever the run ended with.
    FetchSummary summary;
    const auto finish = [&](int status) {
        report.Count("elevation_tiles", static_cast<double>(summary.elevationTiles));
        report.Count("imagery_tiles", static_cast<double>(summary.imageryTiles));
        report.Count("downloads_needed", static_cast<double>(summary.downloads));
        report.Count("cached", static_cast<double>(summary.cached));
        report.Count("downloaded", static_cast<double>(summary.downloaded));
        report.Count("not_in_source", static_cast<double>(summary.notInSource));
        report.Count("missing", static_cast<double>(summary.missing));
        report.Count("left_by_limit", static_cast<double>(summary.leftByLimit));
        for (const std::string& file : summary.written)
            report.Written(file);
        const CommandStatus cause = status == ExitDone ? CommandStatus::Done : status == ExitTransient ? CommandStatus::Transient : status == ExitInterrupted ? CommandStatus::Interrupted : CommandStatus::BadInput;
        return report.Finish(cause, summary.message);
    };

    GeoBox box;
    if (area && flights.empty() && ParseGeoBox(area, &box))
        return finish(FetchArea(box, options, &summary));
    if (!area)
    {
        // A keyword log, or a flight file of any format `track` reads, converted in memory as
        // the player converts it; the tiles go into its folder.
        const LogFileKind kind = ClassifyLogFile(flights.front());
        const FlightFormat* format = kind == LogFileKind::FlightLog || kind == LogFileKind::Unopenable ? nullptr : DetectFlightFileFormat(flights.front());
        if (kind == LogFileKind::Binary && !format)
        {
            fprintf(stderr, "fetch: '%s' is no flight: give a flight file (an autopilot's log, a GPX, IGC or CSV track) or the log `flightreplay-data track` writes\n", flights.front().c_str());
            return report.Finish(CommandStatus::BadInput, "'" + flights.front() + "' is no flight");
        }
        report.Read(flights.front(), format ? format->name : "keyword log");
        return finish(FetchMissing(flights.front(), options, &summary));
    }
    // Any flight file: converted, as `world` converts it, into a folder of our own for the
    // time the corridors take to plan.
    flights.insert(flights.begin(), area);
    std::string folder = (std::filesystem::temp_directory_path() / "flightreplay-area-XXXXXX").string();
    if (!mkdtemp(folder.data()))
        return report.Finish(WriteFailureStatus(errno), "cannot make a temporary folder");
    std::vector<std::string> logs;
    for (const std::string& flight : flights)
    {
        const std::string log = FetchableLog(flight, folder, logs.size());
        if (log.empty())
            break;
        report.Read(flight);
        logs.push_back(log);
    }
    const int status = logs.size() == flights.size() ? FetchArea(logs, options, &summary) : ExitBadInput;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (logs.size() < flights.size())
        summary.message = "cannot read the flight '" + flights[logs.size()] + "'";
    return finish(status);
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
