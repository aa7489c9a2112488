#pragma once
#include <string>
#include <string_view>

#include "track/RecordedFlight.h"
#include "track/TrackReading.h"

// The reader of CSV tracks: the shapes GPS loggers, converters and avionics write.
//
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

// Any text file that is no other format is read as CSV, so that its reader says what it
// lacks.
bool IsCsv(std::string_view bytes);

// False, with the one-line reason in `message`, when no header line names the columns or
// the header lacks one it needs.
bool ReadCsvTrack(const FlightFile& file, RecordedFlight* flight, std::string* message);
