#pragma once
#include <string>
#include <vector>

#include "batch/CommandReport.h"
#include "track/FlightEvents.h"
#include "track/VehicleKind.h"

// The track command: one path from any flight file to the keyword log. The file's format is
// told by its content (track/FlightFormats.h), its reader fills a RecordedFlight, and
// ConvertFlight makes the rows.

// Writes the log to `output` (WriteFileAtomically), or to stdout for "", all of it or nothing,
// and one summary line on stderr (ConversionSummary), then writes the flight's events to
// `eventsPath` (WriteEventsBeside) unless it is "", and an autopilot's log's plan beside
// `planLog` (WritePlanFilesBeside, the version in force at the first arming as NAME.plan)
// unless it is "", with one line on stderr naming what they hold. rate 0 takes the format's default.
// Returns report.Finish: done, bad input when the flight cannot be converted, transient or
// bad input by the cause when a file cannot be written, after one line on stderr (after the
// --info description, when info is set).
int ConvertTrack(const std::string& path, double rate, bool info, const std::string& eventsPath, const std::string& output, CommandReport& report, const std::string& planLog = "", VehicleKind vehicle = VehicleKind::Unknown);

// Writes a converted flight's events to `eventsPath` (nothing for ""): the CSV of
// WriteFlightEvents, or, for a flight without events, no file, and a file already there
// removed so that it does not pass for this flight's. With `info`, one line on stderr names
// the count and the path. False after one line on stderr, prefixed with `program`, when it
// cannot be written.
bool WriteEventsBeside(const char* program, const std::string& eventsPath, const std::vector<FlightEvent>& events, bool info);


// What a conversion of `flight` into `log` leaves that must be up to date for it to be
// skipped (--skip-existing): the log, and the events file at `eventsPath` (none for "") when it
// is there or when the flight is an autopilot's log, whose events a conversion writes. A
// track records none, and a flight without events leaves no file, so an autopilot's log
// without any is converted again each time. The plan files beside `planLog` (none for "")
// that are there count too, and so does the camera's file beside `log` when it is there.
std::vector<std::string> ConversionOutputs(const std::string& flight, const std::string& log, const std::string& eventsPath, const std::string& planLog = "");

// flightreplay-data track INPUT [--out FILE] [--rate HZ] [--info] [--events FILE | --no-events]
// [--no-plan] [--json] [--skip-existing]: reads the options (argv[1] is "track") and runs ConvertTrack.
// The log goes to --out FILE, else to stdout. The events go to --events FILE; without either
// events option, beside the log when it is a file (EventsPathFor of its path), else nowhere.
// The plan of an autopilot's log goes beside the log when it is a file, unless --no-plan.
// --json and --skip-existing need --out. DataToolUsage for a command line it does not
// understand.
int RunTrackCommand(int argc, char** argv);
