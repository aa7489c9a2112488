#pragma once
#include <string>

#include "check/FlightCheck.h"

struct SampleRow;

const int CheckPlotWidth = 1600; // pixels
const int CheckPlotHeight = 600;

// Draws the altitude profile of the checked rows over time, the drawn ground under it, the
// take-off, landing and fault stretches shaded in one colour per kind, and where no ground
// is drawn, with labelled axes (seconds since the first sample, metres above sea level)
// and a legend, as a PNG of CheckPlotWidth x CheckPlotHeight pixels written to `path`
// (through a temporary name). `title` heads it. False when it cannot be drawn or written.
bool WriteCheckPlot(const std::string& path, const std::string& title, const SampleRow* rows, const FlightCheckReport& report);
