#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "track/RecordedFlight.h"

// The wind a flight met: the air's velocity over the ground, north and east components in m/s
// (the way the air goes), each estimate saying which method gave it ("EKF", "PX4 wind",
// "telemetry WIND", "circles"). The readers record a logged estimate on the file's clock; the
// conversion puts it on gps_time's, or, when the log holds none, finds it from the flight's
// own full turns; `track` writes it beside the log as NAME.wind.csv.


// No wind on this planet that a small aircraft flies in blows this hard: faster is a bad record.
const double MaximumWindSpeed = 100.0;
const size_t MaximumWindRecords = 1000000;

// Keeps an estimate with finite components below MaximumWindSpeed; counts any other in *invalid.
void KeepWind(std::vector<TimedWind>* wind, const TimedWind& w, size_t* invalid);

// The components of a wind stated the pilot's way: the direction it blows from (degrees,
// clockwise from north) and its speed.
void WindComponentsFrom(double fromDegrees, double speed, double* north, double* east);
// The direction (degrees in [0, 360)) the wind blows from, and its speed.
double WindFromDegrees(const TimedWind& w);
double WindSpeed(const TimedWind& w);

// The wind from the flight's full turns: each stretch in which the track turns a whole 360
// degrees within 15 to 60 seconds, at a ground speed of at least 3 m/s, has its ground
// velocities lie on a circle about the wind (the air speed about constant); the centre of a
// least-squares circle through them is one estimate, at the turn's middle. Turns that weave
// (turning back by more than a quarter of the whole), whose velocities scatter off the circle
// (more than a fifth of its radius), at an air speed (the radius) over 40 m/s, or whose centre lies near or beyond the circle (a wind
// as fast as the air speed cannot give a whole turn over the ground) are left out. Times on
// the positions' clock.
std::vector<TimedWind> WindFromCircles(const std::vector<TimedPosition>& positions);

// The wind file that belongs beside a keyword log: "dir/NAME.wind.csv" for "dir/NAME.log".
std::string WindPathFor(const std::string& logPath);

// CSV: header "time,north,east,from,speed,source", one estimate per line in time order, the
// time with 3 decimals, speeds in m/s with 2, the direction it blows from in degrees with 1.
// Written whole or not at all.
bool WriteWind(const std::string& path, const std::vector<TimedWind>& wind, std::string* error);

// Reads such a file, safe on any bytes: a line it cannot read (or an absurd wind) is skipped
// and counted (*skipped), at most MaximumWindRecords are kept, sorted by time. False (with
// *error) only when the file cannot be opened or its first line is not the header.
bool ReadWind(const std::string& path, std::vector<TimedWind>* wind, size_t* skipped, std::string* error);

// An estimate stands for the wind this long before the first and after the last (seconds).
const double WindHeldFor = 300.0;

// The wind at `time` (on the list's clock; the list in time order): between two estimates the
// straight line between them, with the nearer's method; the first or the last within
// WindHeldFor of it; false otherwise.
bool WindAt(const std::vector<TimedWind>& wind, double time, TimedWind* at);

// "12 wind estimates (EKF)" style summary of what a list holds, empty for none.
std::string WindSummary(const std::vector<TimedWind>& wind);
