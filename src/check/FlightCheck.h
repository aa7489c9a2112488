#pragma once
#include <cstdint>
#include <limits>
#include <vector>

#include "check/HeightAboveTerrain.h"
#include "geo/MapProjection.h"
#include "log/SampleRow.h"

// What can be wrong with a flight before it is replayed: where it flies under or close to
// the ground the replay draws, and the faults of the log itself. Each kind is looked for
// over the rows as the replay reads them (one accepted row after the other).
enum class FaultKind : int32_t
{
    BelowGround,    // under the drawn ground; measure: the lowest height, metres
    LowFlight,      // under lowHeight but never below the ground, and neither the take-off
                    // nor the landing; measure: the lowest height, metres
    TimeBackwards,  // gps_time going backwards or standing still from one row to the next
                    // (or not a number); measure: the smallest step, seconds
    TimeGap,        // a time step longer than gapFactor times the median step; measure: the
                    // longest step, seconds
    SampleGap,      // sample numbers that do not count up by one; measure: the largest
                    // difference
    PositionJump,   // moving faster than maximumSpeed over the ground; measure: m/s
    ClimbRate,      // climbing or descending faster than maximumClimb; measure: the fastest,
                    // signed, m/s
    BadPosition,    // latitude or longitude at 0 (within one minute of arc, the reader's own
                    // rule), beyond +-90 or +-180 degrees (unless the flight runs on
                    // across 180 there: within half a turn of the map frame's centre),
                    // or not a number; no measure
    BadAttitude,    // gps_curheading, pyro_curroll or pyro_curpitch not finite or beyond
                    // +-2 pi; no measure
    FrozenPosition, // the same latitude, longitude and altitude, to the bit, for more than
                    // frozenSeconds, in flight: a GPS that stopped updating; no measure
};
const int32_t FaultKindCount = 10;

// The thresholds. A value exactly at a limit is no fault.
struct FlightCheckLimits
{
    double maximumSpeed = 100.0;   // m/s over the ground between fixes
    double maximumClimb = 30.0;    // m/s up or down
    double gapFactor = 3.0;        // median time steps
    double frozenSeconds = 2.0;    // seconds of an unchanged position
    double lowHeight = 5.0;        // metres above the drawn ground
    // Seconds above lowHeight that still join two stretches under it into one: GPS altitude
    // wanders by metres on the ground and in the flare, which must not cut a take-off or a
    // landing into pieces.
    double lowBridgeSeconds = 5.0;
    // An aircraft is taken to stand on the ground until it first goes further than this from
    // where the log starts, and again once it last comes this close to where the log ends:
    // parked, the position a good GPS gives stays the same to the bit, and GPS altitude
    // wanders by metres.
    double groundRadius = 20.0; // metres over the ground
    double groundRise = 10.0;   // metres up or down
};

const double NotMeasured = std::numeric_limits<double>::quiet_NaN();

// The check of one row, parallel to the checked rows.
struct SampleCheck
{
    TerrainClearance clearance;   // covered only where the position is valid, too
    double timeStep = NotMeasured; // seconds since the previous row; NaN where a stretch of
                                   // the selection begins (the first row, or after samples
                                   // --samples left out)
    int32_t sampleStep = 0;        // sample numbers since the previous row; 0 where NaN above
    double groundSpeed = NotMeasured; // m/s, from the last fix with another position: a GPS
                                      // that freezes and recovers is no jump
    double climb = NotMeasured;       // m/s, from the same fix, positive up
    bool validPosition = false;
    uint32_t faults = 0;           // bit (1 << kind) for each kind whose stretch holds the row
};

// Rows first .. last (indices into the checked rows, both included) of one fault kind. For
// the faults between two rows (time, sample numbers, speeds) the stretch begins at the row
// before the first faulty step.
struct FaultStretch
{
    int32_t firstRow = 0;
    int32_t lastRow = 0;
    int32_t worstRow = 0;         // where the measure is worst
    double worst = NotMeasured;   // the kind's measure there (see FaultKind)
};

enum class FlightVerdict : int32_t
{
    Clean = 0,    // no fault, every sample over drawn ground
    Warnings = 1, // faults, or samples where no ground is drawn
    Unusable = 2, // no row, or not one valid position
};

struct FlightCheckReport
{
    std::vector<SampleCheck> samples;
    std::vector<FaultStretch> faults[FaultKindCount]; // in row order
    // The first and last stretch under lowHeight, when the flight starts (ends) there: the
    // take-off and the landing, which are no fault. worst is the lowest height.
    bool hasTakeOff = false;
    bool hasLanding = false;
    FaultStretch takeOff;
    FaultStretch landing;
    // Runs of one position longer than frozenSeconds on the ground before the take-off or
    // after the landing (see groundRadius, and the take-off and landing above): a parked
    // aircraft, no fault.
    int32_t frozenOnGround = 0;
    double medianStep = 0.0;   // seconds, median of the positive time steps; 0 without any
    int32_t validPositions = 0;
    int32_t coveredSamples = 0; // valid positions over drawn ground
    double minimumHeight = NotMeasured; // metres above the drawn ground, over covered samples
    double medianHeight = NotMeasured;
    double maximumHeight = NotMeasured;
    FlightVerdict verdict = FlightVerdict::Unusable;
};

// Checks the rows of a flight as read through `selection` (the ranges of sample numbers
// its log was read through; empty: every one): where sample numbers between two rows are
// not selected, the rows belong to separate stretches, and nothing is measured across the
// join. Heights come from HeightAboveTerrain in `frame`, the frame the replay fixes on the
// flight, whose centre also tells a longitude running on across 180 degrees. Runs in time
// linear in the rows.
FlightCheckReport CheckFlight(const FlightRows& flight, const MapFrameValues& frame, const std::vector<SampleRange>& selection,
                              const FlightCheckLimits& limits = FlightCheckLimits());
