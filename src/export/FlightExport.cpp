#include "export/FlightExport.h"

#include <cmath>
#include <cstdio>

#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
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
