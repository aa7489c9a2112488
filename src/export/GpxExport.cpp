#include <cstdio>

#include "export/FlightExport.h"

// One track of one segment; a point's time only where the log is dated (GPX times are UTC
// dates), its elevation the logged altitude above sea level. Nine decimals of a degree keep
// positions to well under the 1e-7 degrees a log's minutes of arc hold.
bool WriteGpx(const ExportInput& input, const std::string&, std::string* bytes, std::string* error)
{
    const std::vector<ExportPoint> points = ExportPoints(input);
    if (points.empty())
    {
        *error = "the flight holds no position to write";
        return false;
    }
    std::string& out = *bytes;
    out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<gpx version=\"1.1\" creator=\"flightreplay\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
          "  <metadata><name>" +
          XmlEscaped(input.title) + "</name>";
    for (const std::string& line : input.attribution)
        out += "<desc>" + XmlEscaped(line) + "</desc>";
    out += "</metadata>\n  <trk><name>" + XmlEscaped(input.title) + "</name><trkseg>\n";
    char line[200];
    for (const ExportPoint& p : points)
    {
        snprintf(line, sizeof line, "    <trkpt lat=\"%.9f\" lon=\"%.9f\"><ele>%.3f</ele>", p.latitude, p.longitude, p.altitude);
        out += line;
        if (p.utc >= 0.0)
            out += "<time>" + IsoUtc(p.utc) + "</time>";
        out += "</trkpt>\n";
    }
    out += "  </trkseg></trk>\n</gpx>\n";
    return true;
}
