#pragma once
#include <string>
#include <vector>

#include "plan/FlightPlan.h"

// The plan's files: a ground station's JSON plan (".plan": mission, geofence, rally points),
// its waypoint list ("QGC WPL 110" text, ".waypoints"), a glider task (".xctsk"), airspace in
// OpenAir text. Each reader is safe on any bytes: it keeps what it can read, says in one
// line of plan->notes each thing it left out, and returns false (with *error, one line) only
// when the file holds nothing it can take. Each reader replaces in `plan` the layers its
// file holds and leaves the others as they are, so a fence file can join a log's mission.

// A ground station's JSON plan.
bool ReadGroundStationPlan(const std::string& text, FlightPlan* plan, std::string* error);
// One mission version, the fence and the rally points as a ground station's JSON plan; the
// version's upload time (when known) and source go in the mission object too.
std::string GroundStationPlanText(const FlightPlan& plan, size_t version);

// A waypoint list: the "QGC WPL 110" line, then one tab-separated item a line.
bool ReadWaypointList(const std::string& text, FlightPlan* plan, std::string* error);

// A glider task file (JSON: turnpoints with their waypoints and radii, take-off, SSS, ESS, goal).
bool ReadGliderTask(const std::string& text, FlightPlan* plan, std::string* error);

// Airspace in OpenAir text (AC, AN, AL, AH, DP, DC, DA, DB, V X= and V D= records): the
// airspaces are appended to plan->airspace.
bool ReadOpenAir(const std::string& text, FlightPlan* plan, std::string* error);

// Reads the file at `path` as its name says: ".plan", ".waypoints" (or a text file whose first
// line is "QGC WPL"), ".xctsk". Errors name the file.
bool ReadPlanFile(const std::string& path, FlightPlan* plan, std::string* error);
// Reads the OpenAir file at `path` into plan->airspace.
bool ReadAirspaceFile(const std::string& path, FlightPlan* plan, std::string* error);

// "dir/NAME.plan" for "dir/NAME.log" (the last extension replaced); version 1 is that file,
// version n > 1 "dir/NAME.vN.plan".
std::string PlanPathFor(const std::string& logPath, size_t version = 1);

// The mission version a log's plan file holds: the one in force at take-off (`takeoff` on
// the plan's clock; NaN: the first), and the others after it in upload order.
std::vector<size_t> PlanFileOrder(const FlightPlan& plan, double takeoff);

// Writes the plan beside the log: the version in force at take-off as NAME.plan, the others as
// NAME.v2.plan, ... (each written whole or not at all), and removes plan files beside the log
// left from another flight. A plan without a mission but with a fence or rally points gives
// NAME.plan alone. A plan file of that name that this program did not write (a pilot's own)
// is neither written over nor removed: then nothing is written and the call is false.
// *written receives the paths written. False with *error when one cannot be written.
// What marks a plan file this program wrote: the ground station it names.
const char* const WrittenByMark = "\"groundStation\": \"flightreplay\"";

bool WritePlanFilesBeside(const std::string& logPath, const FlightPlan& plan, double takeoff, std::vector<std::string>* written, std::string* error);

// The plan file beside a log, read when there is one; true when there was none to read too.
bool ReadPlanBeside(const std::string& logPath, FlightPlan* plan, std::string* error);
