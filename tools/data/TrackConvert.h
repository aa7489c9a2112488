#pragma once
#include <string>

#include "RecordedFlight.h"

// Readers of the track formats. Each fills the flight's positions in the file's order (with
// its format, clock and the stream the points came from), leaves out the points it cannot
// use and counts them by reason in skippedPoints, and returns false after one line on stderr
// only when the file cannot be read or parsed at all. A position at exactly 0 N 0 E is a
// receiver without a fix. A missing altitude is left NaN for the conversion to interpolate.
//
// GPX: every trkpt, in any track and segment, with its ele and time; a point without a time
// or a latitude and longitude is skipped. Times count from 1970 (timesSinceEpoch).
bool ReadGpxTrack(const std::string& path, RecordedFlight* flight);
// IGC: the B records; the GNSS altitude where the fix is valid (A) and non-zero, else the
// pressure altitude; the I record's LAD and LOD digits add to the minutes. Times are seconds
// of the UTC day; times that step back past midnight continue into the next day. B records
// that cannot be read are skipped.
bool ReadIgcTrack(const std::string& path, RecordedFlight* flight);
// CSV, separated by commas, semicolons or tabs (whichever the header holds most of), fields
// in double quotes or not. Lines starting with # are comments; the first other line is the
// header, and a comment just before it with as many fields names the columns' units (as an
// avionics log has it). Column names are matched without case, blanks, underscores, hyphens
// and full stops, a unit in brackets after the name apart ("Alt (ft)"):
// - time: "datetime", "timestamp", "time", "utctime", "lcltime", "localtime", "gpstime", ...;
//   a date and time ("2008/01/27 13:03:22.836", ISO 8601 with its zone), a time of the day
//   with a "date" column ("date", "lcldate", "utcdate", ...) beside it, a time of the day
//   alone (rolling over at midnight), or a number: seconds, read as seconds since 1970 from
//   a year's worth on, as milliseconds from 1e11 and as microseconds from 1e14 (or as the
//   header's unit "ms", "us" says). A "utcofst" (or "utcoffset", "timezone") column turns a
//   local date and time into UTC. Dates give the year first or last; with the year last, day
//   and month are ordered as no date of the file contradicts (else month first with slashes,
//   day first with dots).
// - latitude, longitude ("lat", "lon", "lng", ...): degrees, signed or with their hemisphere
//   letter before or after ("49.07N"), or in a hemisphere column ("N/S", "E/W").
// - altitude: "altmsl", "altitude", "alt", "elevation", "ele", "height", "altgps", ...; in
//   metres, or feet when the header, the units line or the value says so ("98.470 m").
// - a fix column ("valid", "fix", "gpsfix", ...) that says "No fix", "none", "invalid",
//   "NoSoln", "V" or 0 skips the row; an empty one does not.
// - "pitch", "roll" and "hdg" (or "heading", "yaw") together are the recorded attitude, in
//   degrees (radians when the unit says "rad"), roll positive with the right wing down, the
//   heading made true by a "magvar" column (east positive) when there is one.
// - "speed" ("gndspd", "groundspeed", ...) with a unit (km/h, kt, mph, m/s) in the header,
//   the units line or the value; "satellites" ("nsat", "sats", ...).
// Empty fields are missing values. Rows without a fix, a time, a latitude or longitude, or
// with one that cannot be read are skipped. A header without a time, latitude, longitude or
// altitude column is refused, naming the columns it lacks.
bool ReadCsvTrack(const std::string& path, RecordedFlight* flight);

// Seconds since 1970-01-01 00:00 UTC of an ISO 8601 date-time ("2024-05-01T10:00:00.5Z",
// an offset such as +02:00, or none, read as UTC). False when the text is no such time.
bool ParseIsoTime(const std::string& text, double* seconds);
