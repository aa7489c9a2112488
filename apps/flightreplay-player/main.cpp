// flightreplay-player: the replay with a transport (pause, speed, seek, stepping) and a
// heads-up display. Reads the log and the world as flightreplay does, with the same
// transcript and statuses, and any flight file `flightreplay-data track` converts as the log
// it would make. With --record it renders the flight to a video instead of
// opening a window. Given several flight files (up to 16), it shows them together on one
// clock.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "batch/CommandReport.h"
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
static int Record(const RecordOptions& options, const std::vector<const char*>& paths, std::vector<const char*> arguments, const char* program)
{
    CommandReport report("record", options.json);
    FlightSelection selection;
    if (ReadFlightArguments(program, arguments, &selection) != 0)
        return report.Finish(CommandStatus::Usage, "the flights and --samples are not understood");
    selection.flightFiles = FlightFiles::Convert;
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
    RecordOptions options;
    std::vector<const char*> arguments;
    std::string error;
    if (!ParseRecordOptions(argc, argv, &options, &arguments, &error))
    {
        fprintf(stderr, "%s\n%s", error.c_str(), RecordUsage());
        for (int i = 1; i < argc; ++i)
            if (strcmp(argv[i], "--record") == 0)
                return UsageFailure("record", AsksForJson(argc, argv), error);
        return -1;
    }
    const char* program = argc > 0 && argv[0] ? argv[0] : "flightreplay-player";
    // The flights come first; what follows them is read as the replay reads what follows its log.
    size_t flightCount = 0;
    while (flightCount < arguments.size() && strncmp(arguments[flightCount], "--", 2) != 0)
        ++flightCount;
    std::vector<const char*> paths(arguments.begin(), arguments.begin() + flightCount);
    if (flightCount > 1)
        arguments.erase(arguments.begin() + 1, arguments.begin() + flightCount);
    if (options.record)
        return Record(options, paths, arguments, program);
    FlightSelection selection;
    int status = ReadFlightArguments(program, arguments, &selection);
    if (status != 0)
        return status;
    selection.flightFiles = FlightFiles::Convert;
    if (paths.empty())
        paths.push_back(selection.log);
    std::vector<LoadedFlight> flights;
    MapFrameValues frame;
    status = LoadShownFlights(paths, selection, &flights, &frame);
    if (status != 0)
        return status;
    // Everything the run has to say is printed by now; put it out before the graphics driver
    // gets the process, so that no failure of the driver at exit can swallow it.
    fflush(stdout);
    // The frame loop's own result means nothing to the user; a window that never opened does.
    return RunPlayerViewer(options.view, flights, frame) == ViewerNoWindow ? ViewerNoWindow : 0;
}
