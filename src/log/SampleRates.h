#pragma once
#include <cstdint>

#include "log/SampleRow.h"

// How fast the flight moves at one of its rows, from the rows beside it.
struct SampleRates
{
    bool known = false;       // false without two rows of different times to compare
    double groundSpeed = 0.0; // metres per second over the ground; 0 unless known
    double climbRate = 0.0;   // metres per second, positive upwards; 0 unless known
};

// The rates at flight[row] (0 <= row < count): the change of position and
// altitude between the rows on either side of it, over the change of gps_time; at the end
// of a stretch, between the row and its one neighbour in it.
SampleRates RatesAtRow(const FlightRows& flight, int32_t row);

// Whether rows[row - 1] and rows[row] are neighbours in one stretch of the flight: their
// sample numbers count up by one (no samples left out by --samples, none missing from the
// log) and, when the flight's sample step is known, the time between them is at most three
// of its steps. A rate across anything else would mix two stretches of the flight.
bool JoinsPreviousRow(const FlightRows& flight, int32_t row);
