#pragma once
#include <string>

#include "RecordedFlight.h"

// Readers of the track formats. Each fills the flight's positions in the file's order (with
// its format, clock and the stream the points came from) and returns false after one line
// on stderr when the file cannot be read or parsed.
// GPX: every trkpt with its ele and time (points without a time are an error); times count
// from midnight (UTC) of the first point's day.
bool ReadGpxTrack(const std::string& path, RecordedFlight* flight);
// IGC: the B records; the GNSS altitude where the fix is valid (A) and non-zero, else the
// pressure altitude. Times are seconds of the UTC day; times that step back past midnight
// continue into the next day.
bool ReadIgcTrack(const std::string& path, RecordedFlight* flight);
// CSV (comma, semicolon or tab separated) with a header naming time, latitude, longitude and
// altitude columns. Times are seconds, HH:MM:SS, or ISO 8601 date-times (which count from
// midnight of the first row's day).
bool ReadCsvTrack(const std::string& path, RecordedFlight* flight);

// Seconds since 1970-01-01 00:00 UTC of an ISO 8601 date-time ("2024-05-01T10:00:00.5Z",
// an offset such as +02:00, or none, read as UTC). False when the text is no such time.
bool ParseIsoTime(const std::string& text, double* seconds);
