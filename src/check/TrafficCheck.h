#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "log/SampleRow.h"
#include "track/FlightTraffic.h"

// How close the other aircraft came: for each (by address), of its reports made while the
// flight's rows run, the one where it was nearest in three dimensions to where the flight was
// then (the rows interpolated linearly in time).
struct TrafficApproach
{
    uint32_t address = 0;
    std::string callsign;  // the last one it gave; may be empty
    size_t reports = 0;    // all of its reports
    size_t measured = 0;   // those made within the rows' span, each one measured
    // At the closest report (NaN, with `measured` 0, when none fell within the span):
    double time = NAN;       // seconds on gps_time's clock
    double horizontal = NAN; // metres over the ground
    double vertical = NAN;   // metres, theirs minus ours; NaN when its altitude is unknown
    double separation = NAN; // metres in three dimensions; over the ground alone when the
                             // altitude is unknown (a report with one counts first)
};

// One approach per aircraft of `traffic` (reports on the rows' clock), the closest first,
// those never measured last (by address). Rows whose position is not finite are passed over;
// between two rows further apart in time than `longestGap` seconds nothing is measured.
std::vector<TrafficApproach> ClosestApproaches(const FlightRows& rows, const std::vector<TimedTraffic>& traffic, double longestGap = 10.0);
