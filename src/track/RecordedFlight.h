#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plan/FlightPlan.h"
#include "track/CameraAttitude.h"
#include "track/CameraTriggers.h"
#include "track/FlightEvents.h"
#include "track/FlightTraffic.h"
#include "track/VehicleKind.h"

// What a reader of a flight file hands on: the channels the file recorded, each a time series
// on the file's own clock, in SI units and in the conventions a pilot states them in. A
// reader knows nothing of the keyword log the flight will become; the conversion (one place,
// fed by every reader) sorts, cleans, resamples and writes it.

// One position fix. Latitude and longitude in degrees (north and east positive), altitude in
// metres above mean sea level; NaN altitude when the fix has none.
struct TimedPosition
{
    double time; // seconds on the file's clock
    double latitude;
    double longitude;
    double altitude;

    // A place on the Earth, and not the 0, 0 a receiver without a fix reports.
    bool Usable() const { return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0 && !(latitude == 0.0 && longitude == 0.0); }
};

// Keeps a usable fix (an altitude that is not finite becomes NaN, none) and counts any
// other in *invalid.
inline void KeepPosition(std::vector<TimedPosition>* positions, TimedPosition p, size_t* invalid)
{
    if (!std::isfinite(p.altitude))
        p.altitude = NAN;
    if (p.Usable())
        positions->push_back(p);
    else
        ++*invalid;
}

// One attitude. Radians: roll positive with the right wing down, pitch positive nose up,
// yaw the compass heading of the nose, clockwise from north.
struct TimedAttitude
{
    double time; // seconds on the file's clock
    double roll;
    double pitch;
    double yaw;
};

// One estimate of the wind: the air's velocity over the ground, m/s north and east (the way
// the air goes), and the method that gave it ("EKF", "PX4 wind", "telemetry WIND", "circles").
struct TimedWind
{
    double time = 0.0; // seconds: on the file's clock here, on gps_time's once converted
    double north = 0.0;
    double east = 0.0;
    std::string source;
};

struct TimedValue
{
    double time; // seconds on the file's clock
    double value;
};

// The other channels a log can honestly supply, each in the unit of the log column it fills.
enum class FlightChannel : int32_t
{
    GroundSpeed,  // m/s (gps_curspeed)
    Satellites,   // count (gps_numsatellites)
    FixMode,      // 0 none, 2 2-D, 3 3-D and above (gps_fixmode)
    BaroAltitude, // metres (baro_curalt)
    Voltage,      // volts of the main battery (voltage1)
    Current,      // amperes (current)
    Consumed,     // mAh taken from the battery (mah)
    FlightMode,   // the autopilot's mode number (ap_status)
    RcIn1,        // microseconds of pulse, RC inputs 1 to 5 (in_ppm_curwidth[0..4])
    RcIn2,
    RcIn3,
    RcIn4,
    RcIn5,
    ServoOut1,    // microseconds of pulse, servo outputs 1 to 4 (out_ppm_curwidth[0..3])
    ServoOut2,
    ServoOut3,
    ServoOut4,
    Count
};

const int32_t FlightChannelCount = static_cast<int32_t>(FlightChannel::Count);

// One message type, topic or element of the file, for the summary and for the error that
// names what a file holds when it holds no position.
struct RecordedStream
{
    std::string name;    // "vehicle_attitude", "GPS", "GLOBAL_POSITION_INT", "trkpt", ...
    size_t count = 0;    // records read
    double firstTime = 0.0;
    double lastTime = 0.0;
    bool used = false;   // taken into the flight
};

struct RecordedFlight
{
    std::string format; // "ULog", "DataFlash", "MAVLink telemetry", "GPX", "IGC", "CSV"
    std::string positionWanted; // what the reader takes positions from, for the error when it found none
    std::string clock;          // what the times count: "seconds since boot (TimeUS)", ...
    // The times are seconds since 1970-01-01 00:00 UTC; the conversion counts them from
    // midnight (UTC) of the day of the first position it keeps, so a glitched date does not
    // set the clock.
    bool timesSinceEpoch = false;
    // The UTC day (ddmmyy) that times of the day count from, when the file names it apart
    // from them (an IGC file's HFDTE); 0 when it does not.
    int32_t utcDate = 0;

    std::vector<TimedPosition> positions; // in file order
    std::string positionSource;           // which stream the positions came from
    std::vector<TimedAttitude> attitudes; // empty when the file records none
    std::string attitudeSource;
    std::vector<TimedValue> channels[FlightChannelCount];
    // Where the camera looked (CameraAttitude.h), empty when the file does not say.
    std::vector<TimedGimbal> gimbal;
    std::string gimbalSource;
    // The wind the autopilot estimated (FlightWind.h), empty when the file does not say.
    std::vector<TimedWind> wind;
    // Other aircraft the autopilot heard of (FlightTraffic.h), in file order.
    std::vector<TimedTraffic> traffic;
    // The photos the camera took (CameraTriggers.h), empty when the file logs none.
    std::vector<TimedPhoto> photos;
    // Arming, modes, failsafes and messages, in file order, at most MaximumFlightEvents (the
    // rest counted in `dropped`). A mode event stands wherever the FlightMode channel changes.
    std::vector<FlightEvent> events;
    // The mission, fence, rally points or task the file holds, on the file's clock.
    FlightPlan plan;
    // What flew, where the file says it (Unknown otherwise).
    VehicleIdentity vehicle;

    std::vector<RecordedStream> streams; // what the file holds
    size_t skippedBytes = 0;             // corrupt or unreadable stretches
    size_t skippedRecords = 0;           // records dropped whole (bad checksum, cut off, ...)

    // Records the reader left out, with the reason, for the summary: "21 frames of other systems".
    std::vector<std::pair<std::string, size_t>> dropped;
    // What the reader would have the pilot know of what it made of the file, one line each
    // ("heights above the take-off point: ...").
    std::vector<std::string> notes;
    // Track points the reader read but left out, with the reason and where the first one is:
    // {"without a time (the first on line 1190)", 3}.
    std::vector<std::pair<std::string, size_t>> skippedPoints;
};
