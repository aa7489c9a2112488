// flightreplay-player: the replay with a transport (pause, speed, seek, stepping) and a
// heads-up display. Reads the log and the world as flightreplay does, with the same
// transcript and statuses, and any flight file `flightreplay-data track` converts as the log
// it would make. With --record it renders the flight to a video instead of
// opening a window. Given several flight files (up to 16), it shows them together on one
// clock.
#include <cstdio>
#include <string>
#include <vector>

#include "batch/CommandReport.h"
#include "cli/CommandLine.h"
#include "flight/LoadedFlight.h"
#include "player/PlayerViewer.h"
#include "viewer/FlightViewer.h"
#include "record/FlightRecorder.h"
#include "record/RecordOptions.h"
#include "viewer/WindowingSystem.h"

// One flight with the replay's transcript, or several with theirs and the frame on them all.
static int LoadShownFlights(const std::vector<const char*>& paths, const FlightSelection& selection, std::vector<LoadedFlight>* flights, MapFrameValues* frame)
{
    if (paths.size() > 1)
        return LoadFlights(paths, selection.samples, selection.flightFiles, flights, frame);
    flights->resize(1);
    const int status = LoadFlight(selection.log, selection.samples, selection.flightFiles, LoadReport::Transcript, &flights->front());
    if (status == 0)
        *frame = flights->front().Frame();
    return status;
}

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
    std::vector<LoadedFlight> flights;
    MapFrameValues frame;
    const int status = LoadShownFlights(paths, selection, &flights, &frame);
    if (status != 0)
        return report.Finish(paths.size() > MostFlights ? CommandStatus::Usage : CommandStatus::BadInput, "the flights cannot be loaded (the replay's status " + std::to_string(status) + ")");
    fflush(stdout);
    return RecordFlight(options, flights, frame, &report);
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
    std::vector<LoadedFlight> flights;
    MapFrameValues frame;
    const int status = LoadShownFlights(paths, selection, &flights, &frame);
    if (status != 0)
        return status;
    // Everything the run has to say is printed by now; put it out before the graphics driver
    // gets the process, so that no failure of the driver at exit can swallow it.
    fflush(stdout);
    // The frame loop's own result means nothing to the user; a window that never opened does.
    return RunPlayerViewer(options.view, flights, frame) == ViewerNoWindow ? ViewerNoWindow : 0;
}
