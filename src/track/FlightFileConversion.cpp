#include "track/FlightFileConversion.h"

#include <algorithm>
#include <cmath>

#include "track/ConversionSummary.h"

bool ConvertFlightFile(const std::string& path, double rate, FlightFileConversion* conversion, std::string* message)
{
    if (!ReadFlightFile(path, &conversion->flight, &conversion->format, message))
        return false;
    conversion->read = true;
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
