#pragma once
#include <string>
#include <vector>

#include "player/FlightReadout.h"
#include "player/PlaybackClock.h"

// The text of the player's display: what it shows, line by line, as UTF-8, for a row's
// figures and the clock. Fixed widths, so that the figures stay put while they change.
//
//   sample 1234  (row 1234 of 3901)   x3  playing  loop
//   log time 54447.20 s (15:07:27.20)  replay 4:06.8 of 13:00.0
//   altitude 452.3 m AMSL  above terrain 98.7 m
//   ground speed 12.3 m/s  climb rate +1.2 m/s
//   heading 273.4°  bank 12.4° right wing down  pitch 3.1° nose up
std::vector<std::string> DisplayLines(const FlightReadout& readout, const PlaybackClock& clock);

// Recorded seconds as m:ss.s, or h:mm:ss.s from an hour on, or "412 d 03:07:40.0" from a day
// on (flights lined up by time of day across days).
std::string FormatDuration(double seconds);
// Whole seconds as m:ss, or h:mm:ss from an hour on, or "412 d 03:07:40" from a day on
// (negative counts as 0).
std::string FormatWholeDuration(double seconds);

// The speed factor as the display shows it: x3, x0.25, x64.
std::string FormatSpeed(double speed);

// The player reads the world's files from the working directory, so it reads the credits
// (AttributionFile, geo/ReplayFiles.h) from there too.
const size_t AttributionMostLines = 4;
const size_t AttributionMostCharacters = 200; // per line, the cut marked with an ellipsis

// The lines of the attribution file to show, empty without the file. Bounded whatever the
// file holds: blank lines are skipped, control characters and broken UTF-8 become spaces
// and '?', and a file with a NUL byte in its first 16 KiB is no text and shows nothing.
std::vector<std::string> AttributionLines(const std::string& path);
