#pragma once
#include <string>

// The track command: one path from any flight file to the keyword log. The file's format is
// told by its content (track/FlightFormats.h), its reader fills a RecordedFlight, and
// ConvertFlight makes the rows.

// Prints the log on stdout, all of it or nothing, and one summary line on stderr
// (ConversionSummary). rate 0 takes the format's default. Returns 0, or 1 after one line on
// stderr (after the --info description, when info is set).
int ConvertTrack(const std::string& path, double rate, bool info);

// flightreplay-data track INPUT [--rate HZ] [--info]: reads the options (argv[1] is
// "track") and runs ConvertTrack. DataToolUsage for a command line it does not understand.
int RunTrackCommand(int argc, char** argv);
