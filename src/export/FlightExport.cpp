#include "export/FlightExport.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdio>

#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
#include "log/LogKeywords.h"
#include "track/TrackReading.h"

std::vector<ExportPoint> ExportPoints(const ExportInput& input)
{
    const LoadedFlight& flight = *input.flight;
    const bool attitude = flight.Names(static_cast<int32_t>(ColumnKind::pyro_curroll)) || flight.Names(static_cast<int32_t>(ColumnKind::pyro_curpitch));
    std::vector<ExportPoint> points;
    points.reserve(flight.rows.size());
    const double first = flight.rows.empty() ? 0.0 : flight.rows.front().gps_time;
    for (const SampleRow& row : flight.rows)
    {
        ExportPoint point;
        point.latitude = row.gps_curlat / 60.0;
        point.longitude = row.gps_curlon / 60.0;
        point.altitude = row.gps_curalt;
        if (!std::isfinite(point.latitude) || !std::isfinite(point.longitude) || !std::isfinite(point.altitude))
            continue;
        if (!RowUtcSeconds(row, &point.utc))
            point.utc = -1.0;
        point.seconds = row.gps_time - first;
        point.heading = CourseOfLogHeading(row.gps_curheading) / RadiansPerDegree;
        point.attitude = attitude;
        if (attitude)
        {
            point.pitch = PitchOfLogPitch(row.pyro_curpitch) / RadiansPerDegree;
            point.roll = BankOfLogRoll(row.pyro_curroll) / RadiansPerDegree;
        }
        points.push_back(point);
    }
    return points;
}

std::vector<FlightModeChange> FlightModeChanges(const LoadedFlight& flight)
{
    std::vector<FlightModeChange> changes;
    for (const FlightEvent& event : flight.events)
        if (event.kind == FlightEventKind::Mode)
            changes.push_back(FlightModeChange{event.time, event.text});
    std::stable_sort(changes.begin(), changes.end(), [](const FlightModeChange& a, const FlightModeChange& b) { return a.time < b.time; });
    if (!changes.empty() || !flight.Names(static_cast<int32_t>(ColumnKind::ap_status)))
        return changes;
    for (size_t row = 0; row < flight.rows.size(); ++row)
        if (row == 0 || flight.rows[row].ap_status != flight.rows[row - 1].ap_status)
            changes.push_back(FlightModeChange{flight.rows[row].gps_time, "mode " + std::to_string(flight.rows[row].ap_status)});
    return changes;
}

size_t FlightModeAt(const std::vector<FlightModeChange>& changes, double time)
{
    const auto after = std::upper_bound(changes.begin(), changes.end(), time, [](double t, const FlightModeChange& change) { return t < change.time; });
    return after == changes.begin() ? 0 : static_cast<size_t>(after - changes.begin()) - 1;
}

const double* FlightModeColour(size_t index)
{
    // The scene graph's copy cannot be linked from here.
    static const double colours[][3] = {
        {0.800, 0.400, 0.467}, {0.533, 0.800, 0.933}, {0.867, 0.800, 0.467}, {0.067, 0.467, 0.200}, {0.667, 0.267, 0.600},
        {0.267, 0.667, 0.600}, {0.600, 0.600, 0.200}, {0.533, 0.133, 0.333}, {0.200, 0.133, 0.533}, {0.867, 0.867, 0.867},
    };
    return colours[index % std::size(colours)];
}

std::string Base64(const std::string& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3)
    {
        const size_t left = bytes.size() - i;
        const uint32_t word = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                              (left > 1 ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 : 0u) |
                              (left > 2 ? static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 2])) : 0u);
        out += digits[word >> 18 & 63];
        out += digits[word >> 12 & 63];
        out += left > 1 ? digits[word >> 6 & 63] : '=';
        out += left > 2 ? digits[word & 63] : '=';
    }
    return out;
}

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text)
        switch (c)
        {
        case '\t':
        case '\n':
        case '\r': out += c; break;
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    return out;
}

std::string IsoUtc(double utc)
{
    // Whole milliseconds first, so that 59.9996 s is the next minute's 00.000, not 60.000.
    const int64_t millis = static_cast<int64_t>(std::llround(utc * 1000.0));
    const int64_t days = millis >= 0 ? millis / 86400000 : (millis - 86399999) / 86400000;
    const int64_t inDay = millis - days * 86400000;
    int64_t year = 0, month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    char text[40];
    snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year), static_cast<long long>(month),
             static_cast<long long>(day), static_cast<long long>(inDay / 3600000), static_cast<long long>(inDay / 60000 % 60),
             static_cast<long long>(inDay / 1000 % 60), static_cast<long long>(inDay % 1000));
    return text;
}

const std::vector<ExportFormat>& ExportFormats()
{
    static const std::vector<ExportFormat> formats = {
        {"kml", ".kml", WriteKml, "KML 2.2: the track by flight mode with its attitude, the events and the plan, for globe viewers and GIS"},
        {"kmz", ".kmz", WriteKmz, "KMZ: the KML zipped with an aircraft model that flies the track"},
        {"acmi", ".acmi", WriteAcmi, "ACMI 2.2 text: the aircraft's position and attitude a row at a time, events as bookmarks (zipped when --out ends .zip.acmi)"},
        {"czml", ".czml", WriteCzml, "CZML: the aircraft's timed positions and orientations with a glider model, its path and the events"},
        {"gpx", ".gpx", WriteGpx, "GPX 1.1: a track of the rows with their times and elevations"},
        {"html", "-page", nullptr, "a web page in a folder of its own: the flight over its world's ground in any browser, offline"},
    };
    return formats;
}

const ExportFormat* FindExportFormat(const std::string& word)
{
    for (const ExportFormat& format : ExportFormats())
        if (word == format.word)
            return &format;
    return nullptr;
}

std::string ExportFormatWords()
{
    std::string words;
    const std::vector<ExportFormat>& formats = ExportFormats();
    for (size_t i = 0; i < formats.size(); ++i)
        words += std::string(i == 0 ? "" : i + 1 == formats.size() ? " or " : ", ") + formats[i].word;
    return words;
}
