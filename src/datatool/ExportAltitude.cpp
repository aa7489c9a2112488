#include "datatool/ExportAltitude.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "datatool/FlightLogCheck.h"
#include "track/FlightFormats.h"

namespace
{
// A take-off and landing further than this off the drawn ground, and this close to each
// other's height above it, look like one offset of the whole flight rather than the error of
// the receiver or of the ground's grid (a few metres). Geoid and ellipsoid lie 15 m or more
// apart over most of the land.
const double OffsetMetres = 15.0;
const double OffsetAgreement = 10.0;
// The seconds at either end taken as the aircraft on the ground, when it took off there.
const double EndSeconds = 5.0;

// What an IGC file's header says of its GNSS altitudes (HFALG): "ELL", "GEO" or "".
std::string IgcAltitudeReference(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    for (int lines = 0; lines < 200 && std::getline(in, line); ++lines)
    {
        if (line.empty() || line[0] == 'B')
            break; // the header ends where the fixes begin
        if (line.compare(0, 5, "HFALG") != 0)
            continue;
        if (line.find("ELL") != std::string::npos)
            return "ELL";
        if (line.find("GEO") != std::string::npos)
            return "GEO";
    }
    return "";
}

std::string Metres(double value)
{
    char text[32];
    snprintf(text, sizeof text, "%.1f m", value);
    return text;
}
} // namespace

std::string ExportAltitudeDatum(const LoadedFlight& flight)
{
    const std::string sea = "Altitudes are metres above mean sea level, ";
    const LogFileKind kind = ClassifyLogFile(flight.name);
    const FlightFormat* format = kind == LogFileKind::FlightLog ? nullptr : DetectFlightFileFormat(flight.name);
    if (!format)
        return sea + "as logged (gps_curalt).";
    const std::string name = format->name;
    if (name == "ULog")
        return sea + "as the ULog's global or GPS position gives them.";
    if (name == "DataFlash")
        return sea + "as the DataFlash log's POS or GPS messages give them.";
    if (name == "MAVLink telemetry")
        return sea + "as the telemetry's GLOBAL_POSITION_INT or GPS_RAW_INT give them.";
    if (name == "IGC")
    {
        // IGC defines its GNSS altitude above the ellipsoid; loggers that write the geoid's
        // height instead say so in the header, and older ones say nothing.
        const std::string reference = IgcAltitudeReference(flight.name);
        const std::string pressure = " (fixes without one take the pressure altitude, standard atmosphere).";
        if (reference == "GEO")
            return "Altitudes are the IGC file's GNSS altitudes, metres above mean sea level (the geoid), as its header states" + pressure;
        if (reference == "ELL")
            return "Altitudes are the IGC file's GNSS altitudes, metres above the WGS84 ellipsoid, as its header states" + pressure;
        return "Altitudes are the IGC file's GNSS altitudes as logged: IGC counts them above the WGS84 ellipsoid, and the file does not say "
               "whether its logger did" +
               pressure;
    }
    if (name == "GPX")
        return "Altitudes are the GPX file's elevations in metres, as logged: GPX names no datum (receivers mostly give mean sea level).";
    return "Altitudes are the " + name + " file's heights in metres, as logged: it names no datum.";
}

std::vector<std::string> ExportAltitudeNotes(const LoadedFlight& flight, const GroundHeight& ground)
{
    // The height above the drawn ground of every row over it, with its time.
    std::vector<double> seconds, clearance;
    const double first = flight.rows.empty() ? 0.0 : flight.rows.front().gps_time;
    for (const SampleRow& row : flight.rows)
    {
        const double latitude = row.gps_curlat / 60.0, longitude = row.gps_curlon / 60.0;
        if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(row.gps_curalt))
            continue;
        const double terrain = ground(latitude, longitude);
        if (!std::isfinite(terrain))
            continue;
        seconds.push_back(row.gps_time - first);
        clearance.push_back(row.gps_curalt - terrain);
    }
    std::vector<std::string> notes;
    if (clearance.empty())
        return notes;

    size_t below = 0, lowest = 0, firstBelow = 0;
    for (size_t i = 0; i < clearance.size(); ++i)
        if (clearance[i] < 0.0)
        {
            firstBelow = below++ == 0 ? i : firstBelow;
            lowest = clearance[i] < clearance[lowest] ? i : lowest;
        }
    char text[400];
    if (below > 0)
    {
        snprintf(text, sizeof text, "%zu of %zu rows over the drawn ground lie below it, the first %.1f s into the flight, the lowest %s under it at %.1f s: "
                 "the altitudes are written as logged, so the track may pass underground in a viewer too",
                 below, clearance.size(), seconds[firstBelow], Metres(-clearance[lowest]).c_str(), seconds[lowest]);
        notes.push_back(text);
    }

    // The lowest of the first and of the last few seconds: where a flight that took off and
    // landed stood on the ground, however soon it climbed.
    double atStart = INFINITY, atEnd = INFINITY;
    for (size_t i = 0; i < clearance.size(); ++i)
    {
        if (seconds[i] <= seconds.front() + EndSeconds)
            atStart = std::min(atStart, clearance[i]);
        if (seconds[i] >= seconds.back() - EndSeconds)
            atEnd = std::min(atEnd, clearance[i]);
    }
    if (seconds.back() - seconds.front() > 2.0 * EndSeconds && std::fabs(atStart) > OffsetMetres && std::fabs(atEnd) > OffsetMetres &&
        std::fabs(atStart - atEnd) < OffsetAgreement)
    {
        const double offset = (atStart + atEnd) / 2.0;
        snprintf(text, sizeof text, "the flight starts and ends about %s %s the drawn ground: if it took off and landed there, its altitudes "
                 "are offset by that much, as heights above the WGS84 ellipsoid taken for heights above sea level (or the reverse) would be",
                 Metres(std::fabs(offset)).c_str(), offset > 0.0 ? "above" : "below");
        notes.push_back(text);
    }
    return notes;
}
