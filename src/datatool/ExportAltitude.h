#pragma once
#include <string>
#include <vector>

#include "flight/LoadedFlight.h"
#include "plan/FlightPlan.h"

// What an export says of the flight's altitudes. The exports write them unchanged, as
// absolute heights: a viewer draws them over its own ground, so the reader of the file
// should know what they are measured from and whether they sit where the ground says.

// One sentence naming the altitudes' datum: metres above mean sea level or above the WGS84
// ellipsoid where the flight's source says which (its format, an IGC file's own header),
// else plainly "as logged".
std::string ExportAltitudeDatum(const LoadedFlight& flight);

// Where the flight's heights disagree with `ground` (the drawn ground, GroundHeightOf: NaN
// where nothing is drawn), one line each: rows under it, and a take-off and landing that
// both stand the same height off it, as heights on another datum would. Empty when they
// agree or no row lies over drawn ground.
std::vector<std::string> ExportAltitudeNotes(const LoadedFlight& flight, const GroundHeight& ground);
