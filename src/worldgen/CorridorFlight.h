#pragma once
#include <cstdint>
#include <vector>

#include "worldgen/FlightPlan.h"

class Landscape;

const double CorridorSampleRate = 1.0; // log rows per second of a long flight

// A cross-country flight of a self-launching motor glider from the demo's field: a take-off
// run along the mown strip into the wind, a powered climb in wide circles over the field,
// then, motor off, glides at 30-34 m/s on a course that wanders about a downwind bearing,
// climbs in drifting thermal circles whenever the ground comes near (and in some it meets on
// the way), and a final descent with the air brakes out to land about `kilometres` in a
// straight line from the take-off, a rollout and rest. Short flights climb less before they
// set off, so that even a few kilometres end near their length. States at `sampleRate` per
// second; the seed picks the course, the thermals and the sensors' noise.
std::vector<FlightState> FlyCorridorFlight(const Landscape& landscape, uint32_t seed, double kilometres,
                                           double sampleRate);
