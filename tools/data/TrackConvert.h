#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/SampleTable.h"

// One recorded position.
struct TrackPoint
{
    double time;      // seconds; the readers count from midnight (UTC) of the first point's day
    double latitude;  // degrees, north positive
    double longitude; // degrees, east positive
    double altitude;  // metres
};

// Readers of the track formats. Each returns false after one line on stderr when the file
// cannot be read or parsed; points keep the file's order.
// GPX: every trkpt with its ele and time (points without a time are an error).
bool ReadGpxTrack(const std::string& path, std::vector<TrackPoint>* points);
// IGC: the B records; the GNSS altitude where the fix is valid (A) and non-zero, else the
// pressure altitude. Times that step back past midnight continue into the next day.
bool ReadIgcTrack(const std::string& path, std::vector<TrackPoint>* points);
// CSV (comma, semicolon or tab separated) with a header naming time, latitude, longitude and
// altitude columns. Times are seconds, HH:MM:SS, or ISO 8601 date-times.
bool ReadCsvTrack(const std::string& path, std::vector<TrackPoint>* points);
// By extension: .gpx, .igc, anything else CSV.
bool ReadTrack(const std::string& path, std::vector<TrackPoint>* points);

// Seconds since 1970-01-01 00:00 UTC of an ISO 8601 date-time ("2024-05-01T10:00:00.5Z",
// an offset such as +02:00, or none, read as UTC). False when the text is no such time.
bool ParseIsoTime(const std::string& text, double* seconds);

// Resamples the track every 1/rate seconds (linear in time; repeated or backward times are
// dropped first) and derives speed and attitude from the motion: heading along the ground
// track, pitch along the climb, roll from the coordinated-turn bank atan(v * turn rate / g).
// Needs at least two points with different times; otherwise returns no samples.
std::vector<SampleRow> DeriveLogSamples(const std::vector<TrackPoint>& points, double rate);

// The keyword log: a header line of keywords, then one comma-separated line per sample.
std::string FormatLog(const std::vector<SampleRow>& samples);

// The track command: prints the log on stdout, all of it or nothing. Returns 0, or 1 after
// one line on stderr.
int ConvertTrack(const std::string& path, double rate);
