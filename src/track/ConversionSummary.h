#pragma once
#include <string>

#include "track/FlightConversion.h"
#include "track/RecordedFlight.h"

// The one line on stderr that ends every conversion `track` makes (without "\n"): the points
// read, used and skipped with the reasons, the altitudes interpolated, the span of the rows
// and the gaps left out, e.g.
//   track: 'walk.gpx': 296 points read, 295 used, 1 skipped (1 far in time from the rest);
//   span 51839.000 .. 59029.000 s (1 h 59 min 50 s, seconds from midnight of 2010-08-05
//   UTC); 6101 rows at 1 a second; no rows in 3 gaps of more than 300 s (1090 left out)
// (one line in fact).
std::string ConversionSummary(const std::string& path, const RecordedFlight& flight, const ConvertedFlight& converted, const ConversionSettings& settings);

// The points read, and those skipped by reason, for an error that ends a conversion:
// "3 points read, 2 skipped (2 without a time (the first on line 12))".
std::string PointsReadAndSkipped(const RecordedFlight& flight, const PositionCounts& counts);

// The summary of a flight as --info prints it: several lines, each ending in "\n".
std::string DescribeFlight(const std::string& path, const RecordedFlight& flight, size_t fileBytes);

// "name (count)" of the streams that hold records, the most frequent first, the first
// eight named and the rest counted; "no records" without any.
std::string ListStreams(const RecordedFlight& flight);

// What a flight file's plan holds, in one line without a prefix: "mission of 5 items (14
// announced), 1 version; fence of 2 shapes, ceiling 120 m; 3 rally points". `version` counts
// the items of that mission version (the one written as NAME.plan); -1: the first. "" for no plan.
std::string PlanSummary(const FlightPlan& plan, int version = -1);

// The plan's notes (what its reader left out), one line each ending in "\n":
// "track: 'x.bin': fence: item 4: a polygon of 2 vertices, fewer than 3; left out".
std::string PlanNotes(const std::string& path, const FlightPlan& plan);

// "12 wind estimates (EKF)", "44 photos (CAM, TRIG 3)" for records whose methods are
// `sources`, one each: the methods in order, each counted when there are several; "" for none.
std::string CountedBySource(const std::vector<std::string>& sources, const char* one, const char* many);
