#include "datatool/WorldCommand.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <unistd.h>

#include "batch/CommandReport.h"
#include "cli/CommandLine.h"
#include "flight/LoadedFlight.h"
#include "datatool/DataTool.h"
#include "datatool/FlightLogCheck.h"
#include "datatool/TrackCommand.h"
#include "geo/Geodesy.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "terrain/FlightCorridor.h"
#include "track/CameraTriggers.h"
#include "track/ConversionSummary.h"
#include "track/FlightEvents.h"
#include "track/FlightFileConversion.h"
#include "track/FlightSidecars.h"
#include "track/FlightTraffic.h"
#include "track/VehicleKind.h"
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
    std::vector<std::string> flights;
    std::string folder;
    bool offline = false;
    std::vector<std::string> dems;
    std::vector<std::string> imagery;
    int maxTiles = DefaultMaxTiles;
    bool json = false;
    bool skipExisting = false;
    std::string vehicleWord;
    VehicleKind vehicle = VehicleKind::Unknown; // over what every flight file says
};

CommandLineOutcome ParseWorldArguments(int argc, char** argv, WorldArguments* arguments)
{
    CommandLine line("world", DataCommandName(argv[0], "world"),
                     "Makes the folder the replay and the player run in for one flight file or several: the converted logs, the elevation and imagery along every whole flight, the sky, grass and aircraft. "
                     "Its path is the last line on stdout.",
                     DataToolUsage);
    line.Positionals("FLIGHT", &arguments->flights, "the flight files (any format `track` reads), up to " + std::to_string(MaxWorldFlights));
    line.Text("--out", "DIR", &arguments->folder, "the world's folder (default $XDG_DATA_HOME/flightreplay/worlds/STEM)");
    line.Flag("--offline", &arguments->offline, "fetch nothing: take what is missing from the cache alone");
    line.Whole("--max-tiles", "N", 0, MostTilesARun, &arguments->maxTiles, "at most N downloads this run (default " + std::to_string(DefaultMaxTiles) + ")");
    line.Texts("--dem", "RASTER", &arguments->dems, "import the heights of this elevation raster along the flights (may be given again)");
    line.Texts("--imagery", "SOURCE", &arguments->imagery, "import this imagery (a GeoTIFF, MBTiles or a folder of tiles) along the flights (may be given again)");
    line.Text("--vehicle", "KIND", &arguments->vehicleWord, "what flew, over what the files say: " + VehicleKindWords());
    line.Json(&arguments->json);
    line.SkipExisting(&arguments->skipExisting, "every log is newer than its flight and the last run ended well (.world-done; offline only when asked for offline again)");
    const CommandLineOutcome outcome = line.Parse(argc, argv, 2);
    if (outcome.run && arguments->flights.size() > MaxWorldFlights)
        return line.Refuse(std::to_string(arguments->flights.size()) + " flights given; one world holds at most " + std::to_string(MaxWorldFlights));
    if (outcome.run && !arguments->vehicleWord.empty() && !VehicleKindOfWord(arguments->vehicleWord, &arguments->vehicle))
        return line.Refuse("--vehicle: unknown kind '" + arguments->vehicleWord + "'; one of " + VehicleKindWords());
    return outcome;
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

// The file's text, empty when it cannot be read.
std::string FileText(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The demo world's own assets in the folder, made by its generator's code. A file that is
// there is kept: a user may have put a model or a sky of their own in its place.
bool WriteAssets(const std::string& folder)
{
    const auto in = [&folder](const std::string& name) { return folder + "/" + name; };
    if (!EnsureDirectory(in("res")) || !EnsureDirectory(in("EasyStar")) || !EnsureDirectory(in("EasyStar/data")))
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
        if (FileExists(in(asset.name)))
            continue;
        const std::string bytes = asset.bytes();
        if (bytes.empty() || !WriteFileAtomically(in(asset.name), bytes.data(), bytes.size()))
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

std::string DefaultWorldFolder(const std::string& flightPath, size_t flights)
{
    const std::string data = UserFolder("XDG_DATA_HOME", ".local/share");
    if (data.empty())
        return data;
    const std::string folder = data + "/flightreplay/worlds/" + Stem(flightPath);
    return flights > 1 ? folder + "+" + std::to_string(flights - 1) : folder;
}

std::vector<std::string> WorldLogNames(const std::string& folder, const std::vector<std::string>& flights)
{
    std::vector<std::string> names;
    auto taken = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end() || std::find(flights.begin(), flights.end(), folder + "/" + name) != flights.end();
    };
    for (const std::string& flight : flights)
    {
        const std::string stem = Stem(flight);
        // Given the world's own folder as --out, a flight named .log must not be written over.
        std::string name = stem + ".log";
        if (folder + "/" + name == flight)
            name = stem + ".replay.log";
        for (int count = 2; taken(name); ++count)
            name = stem + "-" + std::to_string(count) + ".log";
        names.push_back(name);
    }
    return names;
}

void ReportMissingTiles(const CorridorPlan& plan, const char* elevationWhy, const char* imageryWhy, const char* along, CommandReport* report)
{
    const size_t elevationMissing = std::count(plan.elevationPresent.begin(), plan.elevationPresent.end(), false);
    const size_t imageryMissing = std::count(plan.imageryPresent.begin(), plan.imageryPresent.end(), false);
    if (report)
    {
        report->Count("elevation_tiles", static_cast<double>(plan.elevation.size()));
        report->Count("elevation_tiles_missing", static_cast<double>(elevationMissing));
        report->Count("imagery_tiles", static_cast<double>(plan.imagery.size()));
        report->Count("imagery_tiles_missing", static_cast<double>(imageryMissing));
        if (elevationMissing + imageryMissing > 0)
            report->Warning("missing_tiles", std::to_string(elevationMissing) + " elevation tiles missing (" + elevationWhy + ") and " + std::to_string(imageryMissing) + " imagery tiles missing (" +
                                                  imageryWhy + "): drawn as flat ground and grass");
    }
    if (elevationMissing > 0)
        fprintf(stderr, "world: %zu of %zu elevation tiles along %s missing (%s): the replay draws flat ground at 0 m there; --dem RASTER imports heights\n", elevationMissing, plan.elevation.size(), along, elevationWhy);
    if (imageryMissing > 0)
        fprintf(stderr, "world: %zu of %zu imagery tiles along %s missing (%s): the replay draws grass there; --imagery SOURCE imports imagery\n", imageryMissing, plan.imagery.size(), along, imageryWhy);
}

// Converts the flight into the log named `log` in the folder when the flight is newer, with
// the events beside it, adding the name to `converted` when it was written. Done, or bad
// input or a failed write by its cause, after a line on stderr that `*message` repeats. The
// lines name the files as they lie in the folder, which the last line of a run prints.
static CommandStatus ConvertIntoWorld(const std::string& flight, const std::string& log, const std::string& folder, CommandReport* report, std::vector<std::string>* converted, std::string* message,
                                      VehicleKind vehicle)
{
    report->Read(flight);
    const std::string logPath = folder + "/" + log;
    if (!ModifiedAfter(flight, logPath))
        return CommandStatus::Done;
    FlightFileConversion conversion;
    if (!ConvertFlightFile(flight, 0.0, &conversion, message))
    {
        fprintf(stderr, "world: %s\n", message->c_str());
        return CommandStatus::BadInput;
    }
    fputs(DerivedAttitudeNote(flight, conversion).c_str(), stderr);
    const std::string text = FormatConvertedLog(conversion.converted);
    if (!WriteFileAtomically(logPath, text.data(), text.size()))
    {
        const int error = errno;
        *message = "cannot write '" + log + "' in '" + folder + "': " + strerror(error);
        fprintf(stderr, "world: %s\n", message->c_str());
        return WriteFailureStatus(error);
    }
    fputs(ConversionNotes(flight, conversion).c_str(), stderr);
    // As `track` writes them beside its log, but named as they lie in the folder.
    const std::string events = EventsPathFor(log);
    std::string wholePathMessage;
    if (conversion.converted.events.empty())
        unlink((folder + "/" + events).c_str()); // one left from another flight must not pass for this one's
    else if (!WriteFlightEvents(folder + "/" + events, conversion.converted.events, &wholePathMessage))
    {
        const int error = errno;
        fprintf(stderr, "world: cannot write '%s': %s\n", events.c_str(), strerror(error));
        *message = "cannot write the events of '" + log + "'";
        return WriteFailureStatus(error);
    }
    if (vehicle != VehicleKind::Unknown)
        conversion.flight.vehicle = {vehicle, "--vehicle " + std::string(VehicleKindWord(vehicle))};
    std::vector<std::string> written;
    if (!WriteSidecarsBeside(folder + "/" + log, conversion, &written, &wholePathMessage))
    {
        const int error = errno;
        fprintf(stderr, "world: %s\n", wholePathMessage.c_str());
        *message = "cannot write beside '" + log + "'";
        return WriteFailureStatus(error);
    }
    // Named in the lines alone, as the events and the camera are: a world may convert several flights.
    if (!conversion.converted.traffic.empty())
        fprintf(stderr, "world: %s written to %s\n", TrafficSummary(conversion.converted.traffic).c_str(), TrafficPathFor(folder + "/" + log).c_str());
    printf("log: %s\n", log.c_str());
    converted->push_back(log);
    return CommandStatus::Done;
}

// Loads the log named `log` in the folder as the replay does; false after a line on stderr
// when it holds no flight the terrain can be drawn under.
static bool LoadIntoWorld(const std::string& folder, const std::string& log, LoadedFlight* flight)
{
    if (LoadFlight((folder + "/" + log).c_str(), nullptr, FlightFiles::Refuse, LoadReport::Quiet, flight) != 0)
    {
        fprintf(stderr, "world: no row of '%s' is accepted (one needs gps_curlat and gps_curlon away from 0)\n", log.c_str());
        return false;
    }
    if (LatitudeBeyondMap(flight->summary.extent) != 0.0)
    {
        fprintf(stderr, "world: the flight reaches beyond the map's latitudes (\u00b1%.4f\u00b0): no terrain is drawn for it\n", MapLatitudeLimit);
        return false;
    }
    return true;
}

int RunWorldCommand(int argc, char** argv)
{
    WorldArguments arguments;
    const CommandLineOutcome parsed = ParseWorldArguments(argc, argv, &arguments);
    if (!parsed.run)
        return EndOfCommandLine("world", parsed, argc, argv);
    CommandReport report("world", arguments.json);
    auto fail = [&report](CommandStatus status, const std::string& message) {
        fprintf(stderr, "world: %s\n", message.c_str());
        return report.Finish(status, message);
    };
    // A signal ends the run at the next step, every file written so far whole.
    CatchStopSignals();
    auto interrupted = [&fail]() { return fail(CommandStatus::Interrupted, "interrupted by signal " + std::to_string(StopSignal())); };
    // Every flight is looked at before anything is made: a world is made for all of them or
    // for none.
    char resolved[PATH_MAX];
    std::vector<std::string> flights;
    for (const std::string& given : arguments.flights)
    {
        const char* flight = given.c_str();
        switch (ClassifyLogFile(flight))
        {
        case LogFileKind::Unopenable:
            return fail(CommandStatus::BadInput, std::string("cannot open '") + flight + "'");
        case LogFileKind::FlightLog:
            fprintf(stderr, "world: '%s' is a keyword log already: replay it in the folder of its tiles\n", flight);
            return report.Finish(CommandStatus::BadInput, WorldGivenKeywordLog, std::string("'") + flight + "' is a keyword log already");
        default:
            break;
        }
        // The report names every file the user gave as the system does, symbolic links resolved.
        if (!realpath(flight, resolved))
            return fail(CommandStatus::BadInput, std::string("cannot open '") + flight + "'");
        flights.push_back(resolved);
    }
    auto absolute = [](std::vector<std::string>* paths) {
        for (std::string& path : *paths)
            if (char where[PATH_MAX]; realpath(path.c_str(), where))
                path = where;
    };
    absolute(&arguments.dems);
    absolute(&arguments.imagery);

    std::string folder = arguments.folder.empty() ? DefaultWorldFolder(flights.front(), flights.size()) : arguments.folder;
    if (folder.empty())
    {
        fprintf(stderr, "world: neither XDG_DATA_HOME nor HOME is set: give the folder with --out DIR\n");
        return report.Finish(CommandStatus::Usage, "no folder: give it with --out DIR");
    }
    std::error_code failure;
    const bool made = !fs::exists(folder, failure);
    fs::create_directories(folder, failure);
    // Everything below works in the folder by its whole path, the working directory left as
    // the caller has it: a batch runs many worlds in one process. That path, symbolic links
    // resolved, is the one printed and reported; the folder must be one a process can enter.
    fs::path where;
    if (!failure)
        where = fs::canonical(folder, failure);
    if (!failure && !fs::is_directory(where, failure))
        failure = std::make_error_code(std::errc::not_a_directory);
    if (!failure && access(where.c_str(), X_OK) != 0)
        failure = std::error_code(errno, std::generic_category());
    if (failure)
        return fail(WriteFailureStatus(failure.value()), "cannot make or enter the folder '" + folder + "'");
    folder = where.string();
    const auto in = [&folder](const std::string& name) { return folder + "/" + name; };

    const std::vector<std::string> logs = WorldLogNames(folder, flights);
    // Up to date: the logs are there, newer than their flights, and the run that made them
    // ended well, online unless offline is all that is asked for now.
    std::vector<std::string> outputs = {in(WorldDoneStamp)};
    for (size_t i = 0; i < logs.size(); ++i)
        for (const std::string& output : ConversionOutputs(flights[i], in(logs[i]), in(EventsPathFor(logs[i]))))
            outputs.push_back(output);
    const std::string stamp = FileText(in(WorldDoneStamp));
    if (arguments.skipExisting && OutputsUpToDate(flights, outputs) && (stamp == "fetched\n" || (arguments.offline && stamp == "offline\n")))
    {
        for (const std::string& flight : flights)
            report.Read(flight);
        for (const std::string& log : logs)
            report.Written(folder + "/" + log);
        report.Skipped();
        fprintf(stderr, "world: the logs in '%s' are newer than their flights, and its last run ended well: skipped\n", folder.c_str());
        printf("%s\n", folder.c_str());
        return report.Finish(CommandStatus::Done);
    }
    // Whatever this run comes to, the last one's word no longer holds.
    unlink(in(WorldDoneStamp).c_str());
    // A flight that gives no world leaves no folder made for it: the logs this run wrote go,
    // and the folder with them when nothing else is in it. One that was there stays as it was.
    std::vector<std::string> converted;
    auto abandon = [&](CommandStatus status, const std::string& message) {
        for (const std::string& log : made ? converted : std::vector<std::string>())
        {
            unlink(in(log).c_str());
            unlink(in(EventsPathFor(log)).c_str());
            for (const std::string& sidecar : SidecarPathsFor(log))
                unlink(in(sidecar).c_str());
        }
        std::error_code ignored;
        if (made)
            fs::remove(folder, ignored); // only when empty
        return report.Finish(status, message);
    };
    for (size_t i = 0; i < flights.size(); ++i)
    {
        std::string message;
        const CommandStatus status = ConvertIntoWorld(flights[i], logs[i], folder, &report, &converted, &message, arguments.vehicle);
        if (StopSignal())
            return interrupted();
        if (status != CommandStatus::Done)
            return abandon(status, message);
    }

    // The rasters given cover what they can of every flight's corridor, each tile once.
    std::vector<FlightTiles> corridors;
    std::vector<LoadedFlight> loaded(logs.size());
    for (size_t i = 0; i < logs.size(); ++i)
    {
        if (!LoadIntoWorld(folder, logs[i], &loaded[i]))
            return abandon(CommandStatus::BadInput, "no flight in '" + logs[i] + "' the terrain can be drawn under");
        corridors.push_back(TilesOfFlight(loaded[i].Rows(), loaded[i].Frame()));
    }
    const std::vector<ImageryTileId> imagery = CorridorImageryTiles(corridors);
    const std::vector<ElevationTileId> elevation = arguments.dems.empty() ? std::vector<ElevationTileId>() : CorridorElevationTiles(corridors, imagery);
    for (const std::string& log : converted)
        report.Written(folder + "/" + log);
    for (const std::string& dem : arguments.dems)
        report.Read(dem);
    for (const std::string& source : arguments.imagery)
        report.Read(source);
    if (!arguments.dems.empty() && ImportElevation(arguments.dems, elevation, folder) != 0)
        return StopSignal() ? interrupted() : report.Finish(CommandStatus::BadInput, "the elevation could not be imported");
    for (const std::string& source : arguments.imagery)
        if (ImportImagery(source, false, imagery, folder) != 0)
            return StopSignal() ? interrupted() : report.Finish(CommandStatus::BadInput, "the imagery of '" + source + "' could not be imported");
    if (!WriteAssets(folder))
        return report.Finish(WriteFailureStatus(errno), "the sky, grass and aircraft could not be written");
    if (StopSignal())
        return interrupted();
    // What is still missing comes from the cache, then the network. A failed or refused
    // fetch leaves a world that replays all the same, over grass where tiles are missing: the
    // folder is printed, and the fetch's status tells a script why it is incomplete.
    FetchOptions options;
    if (!FetchOptionsFromEnvironment(&options))
        return report.Finish(CommandStatus::Usage, "the fetch's settings in the environment are wrong");
    options.offline = arguments.offline;
    options.maxTiles = arguments.maxTiles;
    // Each flight's corridor around its own map frame, as the replay frames it on its own,
    // judged in the folder: what the imports above left.
    const auto judge = [&corridors, &folder]() {
        std::vector<CorridorPlan> plans;
        for (const FlightTiles& flight : corridors)
            plans.push_back(PlanCorridor(flight, folder));
        return MergeCorridorPlans(plans);
    };
    FetchSummary fetch;
    const int fetched = FetchMissing(PlanFetch(judge(), folder, FlightsAlong(logs.size())), options, &fetch);
    if (fetched == ExitInterrupted)
        return interrupted();
    std::string why = arguments.offline ? "offline" : fetched != 0 ? "the fetch failed" : "no source has it";
    if (!arguments.offline && fetched == 0 && fetch.leftByLimit > 0)
        why = "the limit of " + std::to_string(arguments.maxTiles) + " downloads a run left " + std::to_string(fetch.leftByLimit) + " downloads for later: run world again, or raise the limit with --max-tiles " +
              std::to_string(fetch.downloads);
    // A kind with no source set has none.
    const char* none = "no source has it";
    ReportMissingTiles(judge(), options.demUrl == "none" ? none : why.c_str(), options.imageryUrl == "none" ? none : why.c_str(), logs.size() == 1 ? "the flight" : "the flights", &report);
    printf("%s\n", folder.c_str());
    report.Count("flights", static_cast<double>(flights.size()));
    const CommandStatus status = fetched == 0 ? CommandStatus::Done : fetched == ExitTransient ? CommandStatus::Transient : CommandStatus::BadInput;
    if (status == CommandStatus::Done && fetch.leftByLimit == 0)
    {
        const std::string done = arguments.offline ? "offline\n" : "fetched\n";
        WriteFileAtomically(in(WorldDoneStamp), done.data(), done.size()); // without it, the next run does the work again
    }
    return report.Finish(status, fetched == 0 ? "" : "the fetch did not complete the world (its status " + std::to_string(fetched) + ")");
}
