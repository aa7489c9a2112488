#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "track/RecordedFlight.h"
#include "track/TrackReading.h"

// The reader of the telemetry subtitles (.SRT) consumer drones write beside each video clip:
// one cue per frame (or per second on older models), each with the aircraft's position in
// one of the makers' layouts:
//   "[latitude: 53.365080] [longitude: 6.460739] [rel_alt: 5.400 abs_alt: -124.744]", with
//     or without <font> wrappers, "FrameCnt"/"SrtCnt", "DiffTime" and a wall-clock line
//     ("2026-05-27 13:10:00.015", or "2018-02-19 08:04:51,265,847" with microseconds),
//     a key misspelt ("longtitude") read as meant;
//   "GPS(149.0251,-20.2533,16) BAROMETER:1.9" beside "HOME(149.0251,-20.2532) 2017.08.05
//     14:11:51": the longitude first, then the latitude, then the satellites in view;
//   "GPS (-58.851745, -34.237922, 15), HOME (-58.847509, -34.232707, -57.98m), ... H 85.80m,
//     H.S 2.88m/s, ..., F.PRY (2.7°, -7.0°, 110.1°), G.PRY (...)": the same order, with the
//     home's altitude, the height above it, the speed and the aircraft's pitch, roll and yaw.
// A GPS(...) pair is read longitude first, as those layouts write it, unless its first
// number cannot be a latitude's partner that way (beyond ±90 in the second place).
//
// The clock is the wall-clock line's (read as UTC: the file names no zone) where the cues
// have one, else the cues' start times from the clip's start. Heights: abs_alt, else the
// home's altitude plus the height above home (H, BAROMETER, rel_alt), else the height above
// the take-off point alone, which the flight's notes name. Cues without a position, with
// latitude and longitude 0 (no fix) or cut off are skipped and counted.

// True when the file is text whose first line is a cue number and the next a cue's times.
bool IsSrt(std::string_view bytes);

// Always true: the cues it cannot read are counted, and a file without a position is named
// by the conversion.
bool ReadSrtTrack(const FlightFile& file, RecordedFlight* flight, std::string* message);

// One usable cue on the clip's own clock, for lining the clip up with a flight (the video
// library's sync): the same cues, positions and heights as the flight reader keeps.
struct SrtCue
{
    double clipSeconds = 0.0;  // the cue's start, from the clip's start
    double latitude = 0.0;     // degrees
    double longitude = 0.0;    // degrees
    double altitude = 0.0;     // metres (see seaLevel); NaN where the cue gives none
    double speed = 0.0;        // horizontal, m/s; NaN where the cue gives none
    bool seaLevel = false;     // the altitudes are above sea level, not the take-off point
};

// The cues with a position, in the file's order; *skipped (when given) counts the others.
std::vector<SrtCue> ReadSrtCues(std::string_view bytes, size_t* skipped = nullptr);
