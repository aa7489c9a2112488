#pragma once

// Extent of the accepted rows: latitude and longitude in minutes of arc, time in seconds.
struct FlightExtent
{
    double latitudeMinimum;
    double latitudeMaximum;
    double longitudeMinimum;
    double longitudeMaximum;
};

// One pass over the accepted rows (there must be at least one): fills the extent, sets
// SampleTable.timeMinimum, timeMaximum and SampleStep. A step counts between two
// consecutive rows whose sample numbers differ by exactly 1; the first row is never a step.
// Without any step, SampleStep is the mean time per row, (last - first) / (rows - 1), or 0
// for a single row.
FlightExtent ComputeFlightStatistics();

// The point the map frame is fixed on: the middle of the extent, in degrees.
void FlightCentre(const FlightExtent& extent, double* latitude, double* longitude);
