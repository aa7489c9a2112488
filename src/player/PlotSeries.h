#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "flight/LoadedFlight.h"

// The curves the player can plot under its 3-D view, each a value for every row of a
// flight: the figures the display shows (altitude, height above the ground, ground
// speed, climb rate, bank and pitch) and every other column the log carries, by its keyword.

struct PlotCurve
{
    std::string name;          // "bank", "pitch"; empty for a series of one curve
    std::vector<float> values; // one per row; NaN where the value is not known
};

struct PlotSeries
{
    std::string word;  // what --plot and the display call it: "altitude", "voltage1"
    std::string title; // "altitude AMSL"
    std::string unit;  // "m", "m/s", "°", "V"; empty for counts and codes
    bool whole = false; // every value a whole number (a count, a code, a column the log keeps as one): labelled so
    std::vector<PlotCurve> curves;
    // Under the altitude: the drawn ground at each row (NaN where no tile covers it), shaded.
    std::vector<float> ground;
};

// The series of the wind's speed (the flight's estimates at each row), for a flight that has any.
const char* const WindWord = "wind";

// The words of the series `flight` can show, in the order a cycle goes through them:
// altitude, height, speed, climb, attitude, the wind, then the log's other columns in keyword order.
std::vector<std::string> AvailablePlotWords(const LoadedFlight& flight);

// The series of a word over `flight`; false for a word the flight cannot show.
bool MakePlotSeries(const LoadedFlight& flight, const std::string& word, PlotSeries* series);

// Splits a --plot list ("altitude,speed,voltage1") into at most MostPlots words; false
// (with `error`) when it is empty, longer, repeats a word, or names no series of any log.
const size_t MostPlots = 4;
bool ParsePlotList(const std::string& list, std::vector<std::string>* words, std::string* error);

// The plots shown when the strip is first opened without a --plot list.
std::vector<std::string> DefaultPlotWords(const LoadedFlight& flight);
