#pragma once
#include <functional>
#include <string>

// The track command: one path from any flight file to the keyword log. The file's format is
// told by its content (track/FlightFormats.h), its reader fills a RecordedFlight, and
// ConvertFlight makes the rows.

// Prints the log on stdout, all of it or nothing, and one summary line on stderr
// (ConversionSummary). rate 0 takes the format's default. Returns 0, or 1 after one line on
// stderr (after the --info description, when info is set).
int ConvertTrack(const std::string& path, double rate, bool info);

// The same conversion, with its messages prefixed by `command`, handing the log's whole text
// to `write` (false when it could not be written).
int ConvertFlightFile(const char* command, const std::string& path, double rate, bool info, const std::function<bool(const std::string&)>& write);

// flightreplay-data track INPUT [--rate HZ] [--info]: reads the options (argv[1] is
// "track") and runs ConvertTrack. DataToolUsage for a command line it does not understand.
int RunTrackCommand(int argc, char** argv);
