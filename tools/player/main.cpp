// flightreplay-player: the replay with a transport (pause, speed, seek, stepping) and a
// heads-up display. Reads the log and the world as flightreplay does, with the same
// transcript and statuses. With --record it renders the flight to a video instead of
// opening a window.
#include <cstdio>
#include <string>
#include <vector>

#include "FlightRecorder.h"
#include "PlayerViewer.h"
#include "RecordOptions.h"
#include "app/Driver.h"
#include "viewer/WindowingSystem.h"

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    RecordOptions options;
    std::vector<char*> rest;
    std::string error;
    if (!ParseRecordOptions(argc, argv, &options, &rest, &error))
    {
        fprintf(stderr, "%s\n%s", error.c_str(), RecordUsage());
        return -1;
    }
    if (!options.record)
        return RunFlightProgram(argc, argv, RunPlayerViewer);
    const int restCount = static_cast<int>(rest.size());
    rest.push_back(nullptr);
    const int status = LoadFlightLog(restCount, rest.data());
    if (status != 0)
        return status;
    fflush(stdout);
    return RecordFlight(options);
}
