#pragma once
#include <cstdint>

#include "log/SampleRow.h"

// The figures the player shows for one row of a flight, in the units a pilot reads:
// metres, metres per second and degrees.
struct FlightReadout
{
    int32_t row = 0;
    int32_t samplenumber = 0;
    double logTime = 0.0;            // gps_time as logged, seconds
    bool timeOfDay = false;          // logTime is seconds of a (UTC) day: the row logs a gps_date
    double altitude = 0.0;           // gps_curalt, metres above sea level
    double heightAboveTerrain = 0.0; // metres above the drawn ground; 0 unless overTerrain
    bool overTerrain = false;        // false where no elevation tile covers the aircraft
    double groundSpeed = 0.0;        // metres per second over the ground; 0 unless ratesKnown
    double climbRate = 0.0;          // metres per second, positive upwards; 0 unless ratesKnown
    bool ratesKnown = false;         // false without two rows of different times to compare
    double heading = 0.0;            // compass course, degrees clockwise from north, [0, 360)
    double bank = 0.0;               // degrees, right wing down positive (the logged roll negated)
    double pitch = 0.0;              // degrees, nose up positive
};

// The figures of flight[row] (0 <= row < count), over the ground the player draws. Ground speed and climb rate
// are the change of position and altitude between the rows on either side of it, over the
// change of gps_time; at the end of a stretch, between the row and its one neighbour in it.
// Reads elevation tiles through the terrain's store, which loads a tile on first use.
FlightReadout ReadFlightAt(const FlightRows& flight, int32_t row);
