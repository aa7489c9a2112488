#include "datatool/DataTool.h"
#include "datatool/ExportCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <cpl_error.h>

#include "batch/CommandReport.h"
#include "cli/CommandLine.h"
#include "flight/LoadedFlight.h"
#include "flight/RangeListParser.h"
#include "datatool/CheckCommand.h"
#include "datatool/CheckPlot.h"
#include "datatool/FlightLogCheck.h"
#include "datatool/TrackCommand.h"
#include "datatool/VideoCommands.h"
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

// Where the tiles to import come from: the flight in a log, as the replay frames it, or a box.
struct AreaArguments
{
    std::vector<std::string> sources; // dem's rasters, or imagery's one source
    std::string log;
    std::string samples;
    GeoBox parsedBox; // --bbox
    bool tms = false;
};

// plan LOG [--samples LIST]: the files the replay reads for the log's flight, and which are there.
static int RunPlanCommand(int argc, char** argv)
{
    std::string log;
    std::string samples;
    CommandLine line("plan", DataCommandName(argv[0], "plan"),
                     "Lists the files the replay reads for a log's flight, in its order, and which are there; counts the corridor along the whole flight. Exit status 0 complete, 1 something missing.",
                     DataToolUsage);
    line.Positional("LOG", &log, "the keyword log, read as the replay reads it, with its transcript");
    line.Text("--samples", "LIST", &samples, "the sample numbers of the flight, BEGIN-END,BEGIN-END,... as the replay selects them");
    const CommandLineOutcome parsed = line.Parse(argc, argv, 2);
    if (!parsed.run)
        return parsed.status;
    if (!AcceptFlightLog("plan", log.c_str()))
        return DataToolUsage;
    return RunPlan(log.c_str(), samples.empty() ? nullptr : samples.c_str());
}

// The command line of dem and imagery (argv[1]).
static CommandLineOutcome ParseAreaCommand(int argc, char** argv, bool imagery, AreaArguments* area)
{
    const char* command = argv[1];
    CommandLine line(command, DataCommandName(argv[0], command),
                     imagery ? "Imports imagery (an XYZ tile folder, an .mbtiles file or a georeferenced image) into the replay's imagery tiles over a flight's corridor or a box."
                             : "Imports elevation rasters into the replay's elevation tiles over a flight's corridor or a box.",
                     DataToolUsage);
    std::string source;
    if (imagery)
        line.Positional("SOURCE", &source, "the imagery: a tile folder (z/x/y.jpg|png), an .mbtiles file or a georeferenced image");
    else
        line.Positionals("SOURCE", &area->sources, "the elevation rasters");
    line.Text("--log", "LOG", &area->log, "the tiles along this log's whole flight, the replay's own first");
    line.Text("--samples", "LIST", &area->samples, "with --log: the sample numbers of the flight, BEGIN-END,BEGIN-END,...");
    line.Checked(
        "--bbox", "S,W,N,E", "a box S,W,N,E in degrees (south < north, west < east)", [area](const std::string& text, std::string*) { return ParseGeoBox(text.c_str(), &area->parsedBox); },
        "the tiles over this box in degrees instead of a flight's");
    if (imagery)
        line.Flag("--tms", &area->tms, "the folder's rows count from the south (TMS)");
    CommandLineOutcome outcome = line.Parse(argc, argv, 2);
    if (!outcome.run)
        return outcome;
    if (imagery)
        area->sources = {source};
    if (area->log.empty() == !line.Given("--bbox"))
        return line.Refuse(area->log.empty() ? "give --log LOG or --bbox S,W,N,E" : "--log and --bbox cannot be given together");
    if (!area->samples.empty() && area->log.empty())
        return line.Refuse("--samples needs --log");
    return outcome;
}

static int RunAreaCommand(int argc, char** argv)
{
    const bool imagery = strcmp(argv[1], "imagery") == 0;
    AreaArguments area;
    const CommandLineOutcome parsed = ParseAreaCommand(argc, argv, imagery, &area);
    if (!parsed.run)
        return EndOfCommandLine(argv[1], parsed, argc, argv);
    const std::vector<std::string>& sources = area.sources;
    const bool tms = area.tms;

    std::vector<ElevationTileId> elevationTiles;
    std::vector<ImageryTileId> imageryTiles;
    if (area.log.empty())
    {
        elevationTiles = ElevationTilesOfBox(area.parsedBox);
        imageryTiles = ImageryTilesOfBox(area.parsedBox);
    }
    else
    {
        const char* log = area.log.c_str();
        if (!AcceptFlightLog(argv[1], log))
            return DataToolUsage;
        // Read as the replay reads it, but without its transcript: the import's output is the
        // tiles it makes (`plan` shows the transcript). The statuses are the replay's.
        if (ClassifyLogFile(log) == LogFileKind::Unopenable)
        {
            fprintf(stderr, "%s: cannot open '%s'\n", argv[1], log);
            return -2;
        }
        if (!area.samples.empty())
            SelectSamples(area.samples.c_str());
        LoadedFlight flight;
        if (LoadFlight(log, nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight) != 0)
        {
            fprintf(stderr, "%s: no row of '%s' is accepted (one needs gps_curlat and gps_curlon away from 0 and a selected sample number)\n", argv[1], log);
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

// The command line of fetch: a log or flight file, or --area with a box or flights.
static CommandLineOutcome ParseFetchCommand(int argc, char** argv, FetchOptions* options, std::string* area, std::vector<std::string>* flights, bool* json)
{
    CommandLine line("fetch", DataCommandName(argv[0], "fetch"),
                     "Fetches the elevation and imagery missing along a flight into a cache and imports them into the log's folder; with --area it fills the cache alone for a box or the corridors of several flights.",
                     DataToolUsage);
    line.Positionals("LOG|FLIGHT", flights, "the keyword log, or a flight file of any format `track` reads (converted in memory); after --area FLIGHT, more flights", false);
    line.Text("--area", "S,W,N,E|FLIGHT", area, "fill the cache alone, for a box in degrees or the corridors of the flights given");
    line.Flag("--offline", &options->offline, "ask nothing of the network: import what the cache holds, list what it lacks");
    line.Flag("--dry-run", &options->dryRun, "list the downloads a run would make and their estimated size, without any request");
    line.Whole("--max-tiles", "N", 0, MostTilesARun, &options->maxTiles, "at most N downloads this run (default " + std::to_string(DefaultMaxTiles) + ")");
    line.Json(json);
    const CommandLineOutcome outcome = line.Parse(argc, argv, 2);
    if (outcome.run && area->empty() && flights->empty())
        return line.Refuse("no log, flight or --area given");
    if (outcome.run && area->empty() && flights->size() > 1)
        return line.Refuse(UnexpectedArgument((*flights)[1]) + " (more flights go with --area)");
    return outcome;
}

static int RunFetchCommand(int argc, char** argv)
{
    FetchOptions options;
    std::string areaText;
    std::vector<std::string> flights;
    bool json = false;
    const CommandLineOutcome parsed = ParseFetchCommand(argc, argv, &options, &areaText, &flights, &json);
    if (!parsed.run)
        return EndOfCommandLine("fetch", parsed, argc, argv);
    CommandReport report("fetch", json);
    // A signal ends the run between two downloads, or cuts the one under way, with its report.
    CatchStopSignals();
    // The environment's settings beside the command line's (offline, dry run, the limit).
    if (!FetchOptionsFromEnvironment(&options))
        return report.Finish(CommandStatus::Usage, "a FLIGHTREPLAY_* setting is malformed");
    const char* area = areaText.empty() ? nullptr : areaText.c_str();
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
    if (argc < 2 || !IsDataCommand(argv[1]))
        return RunDataToolOverview(argc, argv);
    // GDAL's own messages would add lines to ours; each failure is told in one line, with
    // GDAL's reason where it gave one (CPLGetLastErrorMsg).
    CPLSetErrorHandler(CPLQuietErrorHandler);
    const struct
    {
        const char* name;
        int (*run)(int argc, char** argv);
    } commands[] = {
        {"plan", RunPlanCommand},   {"dem", RunAreaCommand},        {"imagery", RunAreaCommand}, {"fetch", RunFetchCommand},
        {"world", RunWorldCommand}, {"track", RunTrackCommand},     {"sync", RunSyncCommand},    {"subtitles", RunSubtitlesCommand},
        {"export", RunExportCommand},
    };
    for (const auto& command : commands)
        if (strcmp(argv[1], command.name) == 0)
            return command.run(argc, argv);
    return RunCheck(argc, argv, WriteCheckPlot);
}
