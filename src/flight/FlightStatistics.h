#pragma once
#include <cstdint>

#include "log/SampleRow.h"

// Extent of the accepted rows: latitude and longitude in minutes of arc, time in seconds.
struct FlightExtent
{
    double latitudeMinimum;
    double latitudeMaximum;
    double longitudeMinimum;
    double longitudeMaximum;
};

// The extent, the span of gps_time and the mean sample step of rows[0 .. rowCount-1] (at
// least one), as ComputeFlightStatistics defines them.
struct FlightSummary
{
    FlightExtent extent{};
    double timeMinimum = 0.0;
    double timeMaximum = 0.0;
    double step = 0.0;
};
FlightSummary SummariseFlight(const SampleRow* rows, int32_t rowCount);

// One pass over the accepted rows (there must be at least one): fills the extent, sets
// the replay table's timeMinimum, timeMaximum and SampleStep. A step counts between two
// consecutive rows whose sample numbers differ by exactly 1; the first row is never a step.
// Without any step, SampleStep is the mean time per row, (last - first) / (rows - 1), or 0
// for a single row.
FlightExtent ComputeFlightStatistics();

// The point the map frame is fixed on: the middle of the extent, in degrees.
void FlightCentre(const FlightExtent& extent, double* latitude, double* longitude);
