#pragma once
#include <string>
#include <vector>

#include "track/FlightEvents.h"

// The track command: one path from any flight file to the keyword log. The file's format is
// told by its content (track/FlightFormats.h), its reader fills a RecordedFlight, and
// ConvertFlight makes the rows.

// Prints the log on stdout, all of it or nothing, and one summary line on stderr
// (ConversionSummary), then writes the flight's events to `eventsPath` (WriteEventsBeside)
// unless it is "". rate 0 takes the format's default. Returns 0, or 1 after one line on
// stderr (after the --info description, when info is set).
int ConvertTrack(const std::string& path, double rate, bool info, const std::string& eventsPath = "");

// Writes a converted flight's events to `eventsPath` (nothing for ""): the CSV of
// WriteFlightEvents, or, for a flight without events, no file, and a file already there
// removed so that it does not pass for this flight's. With `info`, one line on stderr names
// the count and the path. False after one line on stderr, prefixed with `program`, when it
// cannot be written.
bool WriteEventsBeside(const char* program, const std::string& eventsPath, const std::vector<FlightEvent>& events, bool info);

// flightreplay-data track INPUT [--rate HZ] [--info] [--events FILE | --no-events]: reads
// the options (argv[1] is "track") and runs ConvertTrack. The events go to FILE; without
// either option, beside the log when stdout is a regular file (EventsPathFor of its path),
// else nowhere. DataToolUsage for a command line it does not understand.
int RunTrackCommand(int argc, char** argv);
