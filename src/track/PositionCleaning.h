#pragma once
#include <cstddef>
#include <vector>

#include "track/RecordedFlight.h"

// The positions a flight's rows are made from: what a recording holds, less what cannot be
// true. Every reader's positions pass through here, so a glitch is treated the same in a GPS
// track and in an autopilot log.

// A time is an outlier when its group of times (cut where two successive times lie more than
// this apart) holds at most a tenth as many distinct times as the largest group: a clock
// glitch (00:00:00 in the middle of an evening, a receiver's boot date) sits hours or years
// from the flight, while a pause within one outing (lunch on a hike, the gap between two
// flights of a day) stays within it.
const double OutlierTimeSeparation = 6.0 * 3600.0; // seconds
const double OutlierTimeShare = 0.1;

// A position reached from its neighbour faster than this is a glitch: no aircraft the replay
// shows flies it, and no airliner's ground speed (about 350 m/s at most, with the jet stream
// behind it) reaches it.
const double MaximumGroundSpeed = 400.0; // m/s

// What the cleaning counted. Each position is counted once, under the first reason that
// drops it, in the order of the fields.
struct PositionCounts
{
    size_t handedIn = 0;        // positions the reader handed on
    size_t withoutPosition = 0; // time, latitude or longitude not finite, or beyond ±90° / ±180°
    size_t timeOutliers = 0;    // far in time from the flight (OutlierTimeSeparation)
    size_t repeatedTimes = 0;   // at a time an earlier position of the file already has
    size_t speedOutliers = 0;   // reached faster than MaximumGroundSpeed
    size_t used = 0;            // positions left
    size_t altitudesFilled = 0; // of those, altitude missing and interpolated in time
    bool noAltitude = false;    // no position had an altitude: all are 0 m

    size_t Skipped() const { return withoutPosition + timeOutliers + repeatedTimes + speedOutliers; }
};

// The positions sorted by time, one per time (the first in file order), without the outliers
// in time and in speed, and with a finite altitude each: a missing one is interpolated in
// time between the nearest positions that have one (held beyond the first and the last).
// The speed check trusts the longest run of positions that follow one another at possible
// speeds and walks out from it in both directions, keeping a position only when the last
// one kept reaches it in time; so a single wild fix is dropped, wherever it lies.
// Longitudes are made continuous: a flight across the 180th meridian runs on below -180
// (by a whole turn, as far as it goes), where the replay's map goes on without a seam.
std::vector<TimedPosition> CleanPositions(const std::vector<TimedPosition>& positions, PositionCounts* counts);
