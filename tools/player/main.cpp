// flightreplay-player: the replay with a transport (pause, speed, seek, stepping) and a
// heads-up display. Reads the log and the world as flightreplay does, with the same
// transcript and statuses.
#include "PlayerViewer.h"
#include "app/Driver.h"
#include "viewer/WindowingSystem.h"

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    return RunFlightProgram(argc, argv, RunPlayerViewer);
}
