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

#include "app/Driver.h"
#include "app/SeveralFlights.h"
#include "player/PlayerViewer.h"
#include "viewer/FlightViewer.h"
#include "record/FlightRecorder.h"
#include "record/RecordOptions.h"
#include "viewer/WindowingSystem.h"

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    RecordOptions options;
    std::vector<const char*> arguments;
    std::string error;
    if (!ParseRecordOptions(argc, argv, &options, &arguments, &error))
    {
        fprintf(stderr, "%s\n%s", error.c_str(), RecordUsage());
        return -1;
    }
    // The flights come first; what follows them is read as the replay reads what follows its log.
    size_t flightCount = 0;
    while (flightCount < arguments.size() && strncmp(arguments[flightCount], "--", 2) != 0)
        ++flightCount;
    std::vector<const char*> paths(arguments.begin(), arguments.begin() + flightCount);
    if (flightCount > 1)
        arguments.erase(arguments.begin() + 1, arguments.begin() + flightCount);
    FlightSelection selection;
    int status = ReadFlightArguments(argc > 0 && argv[0] ? argv[0] : "flightreplay-player", arguments, &selection);
    if (status != 0)
        return status;
    selection.flightFiles = FlightFiles::Convert;
    if (flightCount > 1)
    {
        std::vector<StoredFlight> flights;
        status = LoadFlights(paths, selection.samples, selection.flightFiles, &flights);
        if (status != 0)
            return status;
        fflush(stdout);
        if (options.record)
            return RecordFlight(options, &flights);
        SetPlayerViewOptions(options.view);
        SetPlayerFlights(&flights);
        return RunPlayerViewer() == ViewerNoWindow ? ViewerNoWindow : 0;
    }
    if (!options.record)
    {
        SetPlayerViewOptions(options.view);
        return RunFlightProgram(selection, RunPlayerViewer);
    }
    status = LoadFlightLog(selection.log, selection.samples, selection.flightFiles);
    if (status != 0)
        return status;
    fflush(stdout);
    return RecordFlight(options);
}
