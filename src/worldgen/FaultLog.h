#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "log/SampleRow.h"

class Landscape;

// The demo flight with faults planted where a checker must find them: the second log of the
// demo world. Each fault lies in level flight, far from the others and from the take-off
// and the landing, so that each is found on its own.

const char* const FaultLogName = "faults.log";
const double DropoutSeconds = 10.0;  // GPS without a fix: positions at 0
const double TimeJumpSeconds = 30.0; // the clock steps ahead
const double FrozenSeconds = 5.0;    // the GPS repeats one fix

// Where the faults were planted, by sample number (both ends included).
struct PlantedFaults
{
    int32_t dropoutFirst = 0; // rows whose latitude, longitude and altitude are 0: the
    int32_t dropoutLast = 0;  // reader drops them, leaving a gap in samples and in time
    int32_t timeJump = 0;     // the first row whose time is TimeJumpSeconds late
    int32_t hillFirst = 0;    // rows flown under the drawn ground, reached and left
    int32_t hillLast = 0;     // at 25 m/s from and to the normal flight
    int32_t frozenFirst = 0;  // the last fix before the freeze; the rows up to frozenLast
    int32_t frozenLast = 0;   // repeat its position
};

// Plants the faults into the demo flight's rows (samples counted from 1, `sampleRate` rows a
// second) and tells where. The stretch under the ground is laid where the grid cells under
// it are nearly flat, so that it starts and ends at the same samples whichever way the
// ground between the grid points is drawn.
PlantedFaults PlantFaults(std::vector<SampleRow>* rows, const Landscape& landscape, double sampleRate);

// Writes the demo flight of the seed with its faults as FaultLogName into the folder, and
// prints one line saying where they lie. Touches no other file. False when it cannot write.
bool WriteFaultLog(const std::string& folder, uint32_t seed, PlantedFaults* planted);
