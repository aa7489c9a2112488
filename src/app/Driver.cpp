#include "app/Driver.h"

#include <cstdio>

#include "viewer/FlightViewer.h"

int RunFlightReplay(int argc, char** argv)
{
    const char* program = argc > 0 && argv[0] ? argv[0] : "flightreplay";
    const std::vector<const char*> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    FlightSelection selection;
    const int status = ReadFlightArguments(program, arguments, &selection);
    if (status != 0)
        return status;
    return RunFlightProgram(selection, RunViewer);
}

int RunFlightProgram(const FlightSelection& selection, int (*runViewer)())
{
    const int status = LoadFlightLog(selection.log, selection.samples, selection.flightFiles);
    if (status != 0)
        return status;
    // Everything the run has to say is printed by now; put it out before the graphics driver
    // gets the process, so that no failure of the driver at exit can swallow it.
    fflush(stdout);
    // The frame loop's own result means nothing to the user; a window that never opened does.
    return runViewer() == ViewerNoWindow ? ViewerNoWindow : 0;
}
