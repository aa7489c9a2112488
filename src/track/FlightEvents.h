#pragma once
#include <cstddef>
#include <string>
#include <vector>

// What happened during a flight beside its motion: arming, the autopilot's modes, failsafes
// and the messages it logged. The readers keep them on the file's clock; the conversion puts
// them on the converted log's (gps_time); `track` writes them beside the log as CSV.

enum class FlightEventKind
{
    Arming,
    Disarming,
    Mode,
    Failsafe,
    Message,
};

// "arm", "disarm", "mode", "failsafe", "message": the CSV's kind column
const char* FlightEventKindName(FlightEventKind kind);

struct FlightEvent
{
    double time = 0.0; // seconds; on the file's clock in RecordedFlight, on gps_time's clock once converted
    FlightEventKind kind = FlightEventKind::Message;
    int severity = 6;  // 0 emergency .. 7 debug (MAVLink's MAV_SEVERITY = syslog's), 6 info when the log gives none
    std::string text;  // Mode events: the mode's name alone ("POSCTL", "Loiter", "mode 17" when unknown)
};

// What one flight keeps: a log that chatters (or a corrupt one) must not grow without bound.
const size_t MaximumFlightEvents = 10000;
const size_t MaximumEventText = 200; // bytes

// Appends an event with its text cut to MaximumEventText bytes (at a character's start, so
// UTF-8 stays whole) and its severity held to 0..7, unless `events` already holds
// MaximumFlightEvents: then it counts the event in *overflow and returns false.
bool AppendFlightEvent(std::vector<FlightEvent>* events, size_t* overflow, double time, FlightEventKind kind, int severity, std::string text);

// The events file that belongs beside a keyword log: "dir/NAME.events.csv" for
// "dir/NAME.log" (the last extension replaced; appended when there is none).
std::string EventsPathFor(const std::string& logPath);

// CSV: header line "time,kind,severity,text", one event per line in time order, time with
// 3 decimals, text quoted RFC 4180-style when it holds a comma, quote, CR or LF (and
// control characters other than those replaced by a space). Written to a temporary name
// and renamed, so a reader never sees half a file.
bool WriteFlightEvents(const std::string& path, const std::vector<FlightEvent>& events, std::string* error);

// Reads such a file. Tolerant and safe on any bytes: a line it cannot read is skipped and
// counted (*skipped), a text is cut at 200 bytes, at most 10000 events are kept (the rest
// counted as skipped), events sorted by time (stable). False (with *error) only when the
// file cannot be opened or its first line is not the header.
bool ReadFlightEvents(const std::string& path, std::vector<FlightEvent>* events, size_t* skipped, std::string* error);
