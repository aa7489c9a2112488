#pragma once
#include <cmath>
#include <string>
#include <vector>

#include "log/SampleRow.h"
#include "track/SrtReader.h"

// A clip's own track (its telemetry subtitles' cues, on the clip's clock) fitted to a flight's
// rows: the offset and rate of ClipSync (video/ClipSync.h), so that the cue at clip second c
// lies where the flight was at flight second offset + c / rate, flight seconds counted from
// the first row's gps_time.
//
// Every offset that leaves at least half the clip over the flight (half the flight within the
// clip, for a clip longer than the flight) is tried at rate 1, then the
// best is refined, offset and rate together, by least squares over the distances between the
// two tracks (heights compared after their mean difference is taken out, since a clip may
// count them from the take-off point and the log from sea level) and, where both know it, the
// difference of their ground speeds. A clip that fits nowhere, or fits as well at a second,
// distinct offset (a hover, a lap flown twice), is refused rather than placed by chance.


// A clip whose clock is off the flight's by more than this share runs with a drift.
const double DriftShare = 0.001;

struct SyncFitLimits
{
    double noFitRms = 30.0;           // metres: worse than this, the tracks have no flight in common
    double leastOverlap = 0.5;        // the share of the shorter of clip and flight that the two must have in common
    double distinctOffset = 3.0;      // seconds: a rival offset this far from the best is another placing
    double rivalShare = 1.5;          // a rival fits "nearly as well" within this many times the best RMS...
    double rivalMetres = 2.0;         // ...or this many metres more, whichever is the looser
    double coarseStep = 0.25;         // seconds between the offsets tried at first
    double speedWeight = 1.0;         // seconds: a speed's difference in m/s counts as this many metres
};

enum class SyncFitVerdict
{
    Fitted,
    NoFit,     // no offset puts the clip over the flight closely enough, or for long enough
    Ambiguous, // a second, distinct offset fits nearly as well
};

struct SyncFitResult
{
    SyncFitVerdict verdict = SyncFitVerdict::NoFit;
    double offset = 0.0;          // flight seconds at the clip's start
    double rate = 1.0;            // clip seconds per flight second
    double rmsMetres = INFINITY;  // between the two tracks' positions, heights' mean difference taken out
    double heightBias = 0.0;      // metres: the clip's heights minus the flight's, on average
    double overlapSeconds = 0.0;  // clip seconds between the first and last cue over the flight
    double overlapShare = 0.0;    // of the cues
    size_t cues = 0;              // the clip's cues with a position
    double rivalOffset = NAN;     // Ambiguous: the second placing and its RMS
    double rivalRms = NAN;
    std::string why;              // NoFit and Ambiguous: one line

    bool Drifts() const { return std::fabs(rate - 1.0) > DriftShare; }
};

SyncFitResult FitClipToFlight(const std::vector<SrtCue>& cues, const FlightRows& rows, const SyncFitLimits& limits = SyncFitLimits());
