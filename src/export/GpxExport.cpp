#include <cstdio>

#include "export/FlightExport.h"

namespace
{
// Text for XML: the five characters that would end it, escaped.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text)
        switch (c)
        {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    return out;
}
} // namespace

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
          Escaped(input.title) + "</name>";
    for (const std::string& line : input.attribution)
        out += "<desc>" + Escaped(line) + "</desc>";
    out += "</metadata>\n  <trk><name>" + Escaped(input.title) + "</name><trkseg>\n";
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
