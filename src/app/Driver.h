#pragma once

// The whole run: command line, log, statistics, map frame and viewer. Returns main's
// status: 0, or -1 usage, -2 missing range list or unopenable log, -3 unknown second
// argument, -4 no accepted row, -5 no window could be opened.
int RunFlightReplay(int argc, char** argv);

// The first part of that run, shared with the companion tools: command line, log,
// statistics and map frame, with the same messages. Returns 0 when CI, CJ and k are fixed,
// otherwise the negative status above.
int LoadFlightLog(int argc, char** argv);
