#include "track/FlightFileConversion.h"

#include <algorithm>
#include <cmath>

#include "geo/Geodesy.h"
#include "track/ConversionSummary.h"

namespace
{
// Below this a glider is standing, packed or being carried: it is left out of the cruise.
const double MovingSpeed = 3.0; // m/s

// The median ground speed between fixes at least a few seconds apart while moving; NaN when
// the flight hardly moved.
double MedianMovingSpeed(const std::vector<TimedPosition>& positions)
{
    std::vector<double> speeds;
    size_t from = 0;
    for (size_t i = 1; i < positions.size(); ++i)
    {
        const double seconds = positions[i].time - positions[from].time;
        if (seconds < 4.0)
            continue;
        const double speed = GroundDistance(positions[from].latitude, positions[from].longitude, positions[i].latitude, positions[i].longitude) / seconds;
        if (std::isfinite(speed) && speed >= MovingSpeed && seconds < 60.0)
            speeds.push_back(speed);
        from = i;
    }
    if (speeds.size() < 10)
        return NAN;
    std::nth_element(speeds.begin(), speeds.begin() + static_cast<std::ptrdiff_t>(speeds.size() / 2), speeds.end());
    return speeds[speeds.size() / 2];
}

// Where the file does not say what flew: a camera's subtitles are a small drone's, and a glider's
// track tells its kind by how fast it cruises. Any other track could be anything that moves.
void GuessVehicle(const std::string& format, RecordedFlight* flight)
{
    if (flight->vehicle.kind != VehicleKind::Unknown)
        return;
    if (format == "video telemetry")
    {
        flight->vehicle = {VehicleKind::Quadrotor, "video subtitles of a camera drone"};
        return;
    }
    if (format != "IGC")
        return;
    const double speed = MedianMovingSpeed(flight->positions);
    const VehicleKind kind = GliderKindOfSpeed(speed);
    if (kind != VehicleKind::Unknown)
        flight->vehicle = {kind, "cruise speed " + std::to_string(static_cast<int>(std::lround(speed))) + " m/s"};
}
} // namespace

bool ConvertFlightFile(const std::string& path, double rate, FlightFileConversion* conversion, std::string* message)
{
    if (!ReadFlightFile(path, &conversion->flight, &conversion->format, message))
        return false;
    conversion->read = true;
    GuessVehicle(conversion->format->name, &conversion->flight);
    const RecordedFlight& flight = conversion->flight;
    if (flight.positions.empty() && !flight.skippedPoints.empty())
    {
        *message = "'" + path + "' holds no point to use: " + PointsReadAndSkipped(flight, PositionCounts());
        return false;
    }
    if (flight.positions.empty())
    {
        *message = "'" + path + "' holds no position: no " + flight.positionWanted + "; it holds " + ListStreams(flight);
        return false;
    }
    conversion->settings = conversion->format->defaults;
    if (rate > 0.0)
        conversion->settings.rate = rate;
    conversion->converted = ConvertFlight(flight, conversion->settings);
    if (conversion->converted.rows.empty())
    {
        const PositionCounts& counts = conversion->converted.positions;
        const std::string points = counts.used < counts.handedIn || !flight.skippedPoints.empty() ? " (" + PointsReadAndSkipped(flight, counts) + ")" : "";
        *message = "'" + path + "' holds " + conversion->converted.error + points;
        return false;
    }
    return true;
}

std::string DerivedAttitudeNote(const std::string& path, const FlightFileConversion& conversion)
{
    if (!conversion.converted.motionAttitude || !conversion.format || !conversion.format->autopilotLog)
        return "";
    return "track: '" + path + "' records no attitude; heading, pitch and roll are derived from the motion\n";
}

std::string ConversionNotes(const std::string& path, const FlightFileConversion& conversion)
{
    std::string notes = ConversionSummary(path, conversion.flight, conversion.converted, conversion.settings) + "\n";
    for (const std::string& note : conversion.flight.notes)
        notes += "track: '" + path + "': " + note + "\n";
    notes += PlanNotes(path, conversion.converted.plan);
    notes += PhotosLeftOutNote(path, conversion.converted.photosWithoutPosition);
    // The replay drops rows within one minute of arc of the equator or the prime meridian,
    // and holds 100000 rows: without --samples it selects sample numbers 1 to 99999.
    const std::vector<SampleRow>& samples = conversion.converted.rows;
    const size_t dropped = std::count_if(samples.begin(), samples.end(), [](const SampleRow& s) { return std::fabs(s.gps_curlat) <= 1.0 || std::fabs(s.gps_curlon) <= 1.0; });
    if (dropped > 0)
        notes += "track: " + std::to_string(dropped) + " samples lie within one minute of arc of the equator or the prime meridian; the replay skips them\n";
    if (!samples.empty() && samples.back().samplenumber >= 100000)
        notes += "track: sample numbers reach " + std::to_string(samples.back().samplenumber) +
                 "; the replay holds 100000 rows and reads sample numbers 1 to 99999 unless --samples selects others: replay the rest a range at a time (--samples 99999-199999, and so on), or lower --rate\n";
    return notes;
}
