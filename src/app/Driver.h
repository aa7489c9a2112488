#pragma once
#include <cstdio>

// The whole run: command line, log, statistics, map frame and viewer. Returns main's
// status: 0, or -1 usage, -2 missing range list or unopenable log, -3 unknown second
// argument, -4 no accepted row, -5 no window could be opened.
int RunFlightReplay(int argc, char** argv);

// The same run with another viewer: `runViewer` takes over where RunViewer would, once the
// log is loaded and the transcript is out, and returns as RunViewer does (ViewerNoWindow
// when no window opened). Statuses as above.
int RunFlightProgram(int argc, char** argv, int (*runViewer)());

// The first part of that run, shared with the companion tools: command line, log,
// statistics and map frame, with the same messages. Returns 0 when CI, CJ and k are fixed,
// otherwise the negative status above.
int LoadFlightLog(int argc, char** argv);

// Reads the whole log from its first column into the emptied sample table, as the run does.
// The caller keeps the stream.
void ScanFlightLog(FILE* log);

// For the companion programs: reads the log at `path` (the rows the current range list
// selects), computes the statistics and fixes the map frame on the flight, printing nothing
// but what the scanner echoes. False when the log cannot be opened or holds no accepted row.
bool LoadFlightQuietly(const char* path);
