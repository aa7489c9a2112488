#pragma once
#include <string>

// How a video clip's clock stands against a flight's. Flight seconds are the log's own time
// counted from its first row (its gps_time, no gap shortened); the clip's seconds are its
// presentation times from its first frame. The clip stands at
//     clip seconds = (flight seconds - offset) * rate,
// so `offset` is the flight's second at which the clip begins and `rate` how many clip seconds
// pass in one of the log's (above 1: the clip's clock runs fast).
//
// `flightreplay-data sync` writes one beside the clip (ClipSyncPath); the player, the recorder
// and `subtitles --for` read it there. A flight other than the one it was fitted to takes it
// through the time of day, when both know it.
struct ClipSync
{
    double offset = 0.0;
    double rate = 1.0;
    // "telemetry" (the clip's own track fitted to the flight's), "creation time" (the clip's
    // metadata against the log's time of day: weaker) or "by hand".
    std::string method = "by hand";
    std::string log;          // the file name (no folder) of the flight it was fitted to
    double logStartUtc = -1;  // UTC seconds since 1970 of that flight's first row; < 0: undated
    double rmsMetres = -1;    // the fit's RMS distance between the two tracks; < 0: no track fit
    double clipSeconds = 0;   // the clip's length, as it was when fitted

    double ClipSecondsAt(double flightSeconds) const { return (flightSeconds - offset) * rate; }
    double FlightSecondsAt(double clipSeconds) const { return offset + clipSeconds / rate; }
};

// "DIR/STEM.sync" beside "DIR/STEM.MP4".
std::string ClipSyncPath(const std::string& clip);

// False with *error a line naming the file (no such file: *error empty).
bool ReadClipSync(const std::string& path, ClipSync* sync, std::string* error);
// Whole or not at all; false with *error naming the file.
bool WriteClipSync(const std::string& path, const ClipSync& sync, std::string* error);

// The sync for a flight named `flightName` (a path) whose first row lies at `flightStartUtc`
// (< 0: undated): the fitted one when the names' stems agree, else moved by the two
// flights' times of day when both are dated. False, with *why, when neither holds.
bool SyncForFlight(const ClipSync& fitted, const std::string& flightName, double flightStartUtc, ClipSync* forFlight,
                   std::string* why);
