#pragma once
#include <string>
#include <utility>
#include <vector>

#include <osg/Vec4>

#include "log/SampleRow.h"

// What the flown track's colours stand for.
enum class TrackColourBy
{
    None,
    Altitude,
    Speed,
    Climb,
    Mode,
    Column, // any other series of the flight, by values handed in (ColourTrackByValues)
};

// "altitude", "speed", "climb" or "mode" into *by; false, *by untouched, for any other word.
bool ParseTrackColourBy(const std::string& word, TrackColourBy* by);

// The autopilot entered the mode `name` at `time` (gps_time seconds, the log's clock).
struct ModeChange
{
    double time;
    std::string name;
};

// A colour for each row of a flight, and the legend that explains them.
struct TrackColouring
{
    TrackColourBy by = TrackColourBy::None;
    std::vector<osg::Vec4> rowColours; // one per row of the flight, in its order
    std::string title;                 // "altitude AMSL", "ground speed", "climb rate", "flight mode"
    // A ramp: its stops from the low end to the high end, evenly spaced, an odd number of
    // them; the first, the middle and the last are labelled with their value and unit, the
    // rest have "". Modes: one entry per mode with its name, in order of first appearance in
    // the changes (with none, in the rows).
    std::vector<std::pair<osg::Vec4, std::string>> entries;
    bool ramp = false;
};

// The colours of `flight`'s rows by `by`, with their legend; empty for None.
// Altitude is gps_curalt in metres; speed and climb are the player's own ground speed and
// climb rate in metres per second (SampleRates.h), and a row whose rates are unknown is grey.
// A ramp runs between the 2nd and 98th percentiles of the values (a climb ramp symmetric
// about 0), so that a few wild rows do not wash out the rest; values beyond take its ends.
// Modes come from `modeChanges` (in time order) when there are any: each row takes the
// last change at or before its time, and rows before the first change take the first.
// Without changes, a row's mode is its ap_status ("mode N"). Mode colours repeat after ten.
TrackColouring ColourTrack(const FlightRows& flight, TrackColourBy by, const std::vector<ModeChange>& modeChanges);

// The colours of rows by values handed in, one per row (not finite where not known: grey),
// on the altitude's ramp between the same percentiles, its legend titled `title` and labelled
// in `unit` (none for counts and codes) with `decimals`.
TrackColouring ColourTrackByValues(const std::vector<double>& values, const std::string& title, const std::string& unit, int decimals);
