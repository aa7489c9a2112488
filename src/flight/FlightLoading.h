#pragma once
#include <cstdio>
#include <vector>

#include "flight/FlightStatistics.h"
#include "track/FlightEvents.h"

// The first part of the replay's run, which the companion programs share: the command
// line's log and selection, the log, the statistics and the map frame.

// What the loading step does with a flight file of a format the track library reads (an
// autopilot's log, a GPX, IGC or CSV track): the replay refuses it with one line; the player
// converts it in memory, as `flightreplay-data track` would, and loads the rows it makes.
enum class FlightFiles
{
    Refuse,
    Convert,
};

// The log a run reads and its --samples list (null without one).
struct FlightSelection
{
    const char* log = nullptr;
    const char* samples = nullptr;
    FlightFiles flightFiles = FlightFiles::Refuse;
};

// Reads the arguments after the program's name as the replay does (LOG, then optionally
// --samples LIST; further ones are ignored), with its messages on stdout: the usage line
// naming `program` and -1 without a log, "arg. '%s' - undefined" and -3 when the second is
// not --samples, the request for the list and -2 when --samples ends the line. 0 when
// `selection` is filled.
int ReadFlightArguments(const char* program, const std::vector<const char*>& arguments, FlightSelection* selection);

// Selects the samples (printing the selection when a list is given), reads the log, prints
// the column report, the statistics and the map frame, and fixes CI, CJ and k: the replay's
// transcript up to the viewer. `samples` is the --samples list or null. Returns 0, or -2
// when the log cannot be opened, -4 when it holds no accepted row.
// A flight file of another format (told by its signature; text only when no keyword of the
// log is on its first line) is, by `flightFiles`:
// - Refuse: not read, and -4 after one line on stderr that names the format and the ways to
//   replay it; a CSV track is scanned as a keyword log.
// - Convert: converted (ConvertFlightFile) with the lines `track` prints on stderr, and the
//   log it makes scanned from memory, so that the transcript is the converted log's; -4 after
//   `track`'s one line when it cannot be converted. Text the CSV reader refuses is scanned as
//   a keyword log, and when that finds no keyword at all the reader's reason follows on stderr.
// A flight that reaches beyond the map's latitudes is loaded all the same, with one line on
// stderr saying so.
int LoadFlightLog(const char* path, const char* samples, FlightFiles flightFiles = FlightFiles::Refuse);

// The latitude in degrees of the flight's extent (ComputeFlightStatistics) farthest from the
// equator when it lies beyond the map's latitudes (MapLatitudeLimit), where no tile is and
// nothing is drawn under the flight; 0 when the whole extent lies within them.
double LatitudeBeyondMap(const FlightExtent& extent);

// Reads the whole log from its first column into the emptied sample table, as the run does.
// The caller keeps the stream.
void ScanFlightLog(FILE* log);

// The line that says how many rows the full table left out, when it left out any.
void PrintTableOverflow();

// For the companion programs: reads the log at `path` (the rows the current range list
// selects), computes the statistics and fixes the map frame on the flight, printing nothing
// but what the scanner echoes. False when the log cannot be opened or holds no accepted row.
// A flight file of another format is, by `flightFiles`, scanned as a log all the same
// (Refuse: the caller has told it apart), or converted in memory as LoadFlightLog converts
// it, with `track`'s lines on stderr (Convert).
bool LoadFlightQuietly(const char* path, FlightFiles flightFiles = FlightFiles::Refuse);
