// flightreplay-player: the replay with a transport (pause, speed, seek, stepping) and a
// heads-up display. Reads the log and the world as flightreplay does, with the same
// transcript and statuses, and any flight file `flightreplay-data track` converts as the log
// it would make. With --record it renders the flight to a video instead of
// opening a window. Given several flight files (up to 16), it shows them together on one
// clock.
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandReport.h"
#include "app/Driver.h"
#include "app/SeveralFlights.h"
#include "cli/CommandLine.h"
#include "player/PlayerViewer.h"
#include "viewer/FlightViewer.h"
#include "record/FlightRecorder.h"
#include "record/RecordOptions.h"
#include "viewer/WindowingSystem.h"

// A recording is a batch job: its command line, flights and output are told apart by cause
// (CommandReport.h), where the window's run keeps the replay's statuses.
static int Record(const RecordOptions& options, const std::vector<const char*>& paths, const FlightSelection& selection)
{
    CommandReport report("record", options.json);
    for (const char* path : paths)
        report.Read(path);
    std::string output = options.output;
    if (RecordsFrames(options))
        output.pop_back();
    if (options.skipExisting && OutputsUpToDate(std::vector<std::string>(paths.begin(), paths.end()), {output}))
    {
        report.Written(output);
        report.Skipped();
        fprintf(stderr, "%s is newer than the flights: skipped\n", options.output.c_str());
        return report.Finish(CommandStatus::Done);
    }
    std::vector<StoredFlight> flights;
    const int status = paths.size() > 1 ? LoadFlights(paths, selection.samples, selection.flightFiles, &flights)
                                        : LoadFlightLog(selection.log, selection.samples, selection.flightFiles);
    if (status != 0)
        return report.Finish(paths.size() > MostFlights ? CommandStatus::Usage : CommandStatus::BadInput, "the flights cannot be loaded (the replay's status " + std::to_string(status) + ")");
    fflush(stdout);
    return RecordFlight(options, paths.size() > 1 ? &flights : nullptr, &report);
}

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    PlayerOptions player;
    RecordOptions options;
    const CommandLineOutcome parsed = ParsePlayerCommandLine(argc, argv, &player, &options);
    if (!parsed.run)
        return parsed.status == ExitUsage ? UsageFailure("record", AsksForJson(argc, argv), parsed.message) : parsed.status;
    std::vector<const char*> paths;
    for (const std::string& flight : player.flights)
        paths.push_back(flight.c_str());
    // The first flight is the one the replay's loading step reads when there is one.
    FlightSelection selection;
    selection.log = paths.front();
    selection.samples = player.samples.empty() ? nullptr : player.samples.c_str();
    selection.flightFiles = FlightFiles::Convert;
    if (options.record)
        return Record(options, paths, selection);
    SetPlayerViewOptions(options.view);
    if (paths.size() <= 1)
        return RunFlightProgram(selection, RunPlayerViewer);
    std::vector<StoredFlight> flights;
    const int status = LoadFlights(paths, selection.samples, selection.flightFiles, &flights);
    if (status != 0)
        return status;
    fflush(stdout);
    SetPlayerFlights(&flights);
    return RunPlayerViewer() == ViewerNoWindow ? ViewerNoWindow : 0;
}
