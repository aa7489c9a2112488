#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "flight/FlightLoading.h"
#include "flight/FlightStatistics.h"
#include "geo/MapProjection.h"
#include "log/SampleRow.h"
#include "plan/FlightPlan.h"
#include "track/CameraAttitude.h"
#include "track/CameraTriggers.h"
#include "track/FlightEvents.h"
#include "track/VehicleKind.h"
#include "track/FlightWind.h"
#include "track/FlightTraffic.h"

// One flight as the companion programs hand it to each other: every row its log holds, the
// columns the log named, the events, the extent and where it came from. The replay keeps its
// rows in its own bounded table; a flight loaded here is bounded by memory alone, so a log of
// ten hours at ten rows a second is taken whole.
struct LoadedFlight
{
    std::string name; // as the command line named it
    std::vector<SampleRow> rows; // accepted, in log order
    std::vector<int32_t> columns; // the column kind at each position of the log's lines (0: none)
    std::vector<FlightEvent> events;
    // What it was meant to do: from the flight file, else the plan file beside a keyword log
    // (NAME.plan); the player's and check's --plan and --airspace add to it.
    FlightPlan plan;
    // Where the camera looked, on gps_time's clock: from the conversion, else the file beside
    // a keyword log (NAME.camera.csv); empty when the flight does not say.
    std::vector<TimedGimbal> gimbal;
    // What flew (VehicleKind.h), from NAME.vehicle; Unknown when there is none.
    VehicleIdentity vehicle;
    // The wind, on gps_time's clock: from the conversion, else the file beside a keyword log
    // (NAME.wind.csv); empty when neither says.
    std::vector<TimedWind> wind;
    // Other aircraft's reports, on gps_time's clock: from the conversion, else the file
    // beside a keyword log (NAME.traffic.csv); empty when neither says.
    std::vector<TimedTraffic> traffic;
    // The photos taken, on gps_time's clock: from the conversion, else the file beside a
    // keyword log (NAME.photos.csv); empty when neither says.
    std::vector<TimedPhoto> photos;
    FlightSummary summary; // extent, span of gps_time, mean sample step
    int32_t unselectedRows = 0; // rows with both positions left out by the --samples list
    // The ranges of sample numbers it was read through: rows either side of numbers left out
    // belong to separate stretches of it.
    std::vector<SampleRange> selection;

    FlightRows Rows() const { return FlightRows{rows.data(), static_cast<int32_t>(rows.size()), summary.step}; }
    // Whether a keyword of the log named a column of this kind (a ColumnKind code).
    bool Names(int32_t kind) const;
    // The frame the replay would fix on this flight alone.
    MapFrameValues Frame() const;
};

// What loading prints.
enum class LoadReport
{
    Transcript, // the replay's transcript of the loading step, as LoadFlightLog prints it
    Quiet,      // nothing but what the scanner echoes
};

// Loads the flight at `path` into `flight`, as LoadFlightLog loads the replay's: through the
// current --samples list (`samples`, when given, is parsed into it first, and printed with a
// transcript), a flight file of another format converted or refused by `flightFiles`, the
// events file beside a keyword log read. With a transcript, the lines are the replay's, over
// every row (a full table's line never comes). Returns 0, -2 when the file cannot be opened,
// -4 when it holds no accepted row or cannot be converted.
int LoadFlight(const char* path, const char* samples, FlightFiles flightFiles, LoadReport report, LoadedFlight* flight);

// The player shows at most this many flights at once.
const size_t MostFlights = 16;

// Loads each flight in turn with its transcript (the selection printed once, for the first;
// every flight is read through it), then prints the frame fixed on the extent of them all as
// the transcript prints a flight's, after a line that counts them. 0, or the status of the
// first flight that cannot be loaded after a line on stderr that names it; -1 for more than
// MostFlights, after a line on stderr.
int LoadFlights(const std::vector<const char*>& paths, const char* samples, FlightFiles flightFiles, std::vector<LoadedFlight>* flights, MapFrameValues* frame);

// The frame fixed on the extent of all `flights` (at least one).
MapFrameValues FrameOnAll(const std::vector<LoadedFlight>& flights);
