#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MavlinkMessage;
struct RecordedFlight;

// Other aircraft around the flight, as its autopilot heard their transponders: one report
// each time one was heard. The readers record them on the file's clock; the conversion puts
// them on gps_time's; `track` writes them beside the log as NAME.traffic.csv.
struct TimedTraffic
{
    double time = 0.0;    // seconds: on the file's clock here, on gps_time's once converted
    uint32_t address = 0; // the transponder's 24-bit ICAO address
    std::string callsign; // blanks trimmed; may be empty
    double latitude = NAN, longitude = NAN; // degrees
    double altitude = NAN; // metres above sea level; NaN when not given
    double heading = NAN;  // degrees clockwise from north in [0, 360); NaN when unknown
    double speed = NAN;    // m/s over the ground; NaN when unknown
};

// Beyond these an altitude is the transponder's garbage, not a height anything flies at: it
// becomes unknown, the report stays.
const double LowestTrafficAltitude = -1000.0, HighestTrafficAltitude = 30000.0;
const size_t MaximumTrafficRecords = 1000000;

// The callsign of a fixed-width text field: up to its first NUL, blanks trimmed, and what
// no callsign holds (control bytes, commas, bytes beyond ASCII) dropped.
std::string TrafficCallsign(const std::string& field);

// The report of a telemetry ADSB_VEHICLE payload (padded to the message's length): where its
// flags say which values hold (any set), those they do not are unknown, and so are the
// fields' own markers of nothing (INT32_MAX, UINT16_MAX).
TimedTraffic AdsbVehicleReport(const MavlinkMessage& message, const uint8_t* payload, double time);

// Appends a report as a reader heard it, up to MaximumTrafficRecords.
void AddTraffic(std::vector<TimedTraffic>* traffic, const TimedTraffic& report);

// The reports a reader handed on, as the flight keeps them: those with an impossible place
// (latitude beyond 90, longitude beyond 180, 0, 0, none) left out with one note, an
// absurd altitude, heading or speed made unknown. Every read of a flight file ends here.
void KeepPossibleTraffic(RecordedFlight* flight);

// The reports on the rows' clock (`origin` taken off), in time order (stable).
std::vector<TimedTraffic> TrafficOnRows(const std::vector<TimedTraffic>& traffic, double origin);

// How many aircraft (addresses) the reports are of.
size_t TrafficAircraft(const std::vector<TimedTraffic>& traffic);
// "120 traffic reports of 2 aircraft", "" for none.
std::string TrafficSummary(const std::vector<TimedTraffic>& traffic);
// The name an aircraft goes by: its callsign, else its address in 6 hex digits.
std::string TrafficName(const TimedTraffic& report);

// The traffic file that belongs beside a keyword log: "dir/NAME.traffic.csv" for "dir/NAME.log".
std::string TrafficPathFor(const std::string& logPath);

// CSV: header "time,address,callsign,latitude,longitude,altitude,heading,speed", one report
// a line in time order: the time with 3 decimals, the address in 6 hex digits, degrees with
// 7, metres with 1, the heading with 1 and the speed with 2; an unknown value empty. Written
// whole or not at all.
bool WriteTraffic(const std::string& path, const std::vector<TimedTraffic>& traffic, std::string* error);

// Reads such a file, safe on any bytes: a line it cannot read (or one with an impossible
// place) is skipped and counted (*skipped), at most MaximumTrafficRecords are kept, sorted by
// time. False (with *error) only when the file cannot be opened or its first line is not the
// header.
bool ReadTraffic(const std::string& path, std::vector<TimedTraffic>* traffic, size_t* skipped, std::string* error);
