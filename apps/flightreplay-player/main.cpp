// flightreplay-player: the replay with a transport (pause, speed, seek, stepping) and a
// heads-up display. Reads the log and the world as flightreplay does, with the same
// transcript and statuses, and any flight file `flightreplay-data track` converts as the log
// it would make. With --record it renders the flight to a video instead of
// opening a window.
#include <cstdio>
#include <string>
#include <vector>

#include "app/Driver.h"
#include "player/PlayerViewer.h"
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
    FlightSelection selection;
    int status = ReadFlightArguments(argc > 0 && argv[0] ? argv[0] : "flightreplay-player", arguments, &selection);
    if (status != 0)
        return status;
    selection.flightFiles = FlightFiles::Convert;
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
