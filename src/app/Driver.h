#pragma once
#include "flight/FlightLoading.h"

// The whole run: command line, log, statistics, map frame and viewer. Returns main's
// status: 0, or -1 usage, -2 missing range list or unopenable log, -3 unknown second
// argument, -4 no accepted row, -5 no window could be opened.
int RunFlightReplay(int argc, char** argv);

// The same run with another viewer, from a command line already read: `runViewer` takes
// over where RunViewer would, once the log is loaded and the transcript is out, and returns
// as RunViewer does (ViewerNoWindow when no window opened). Statuses as above.
int RunFlightProgram(const FlightSelection& selection, int (*runViewer)());
