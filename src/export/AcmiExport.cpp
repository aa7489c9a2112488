#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "export/FlightExport.h"
#include "export/ZipArchive.h"

namespace
{
// The aircraft's object id: any hexadecimal number but 0, which is the recording itself.
const char* const AircraftId = "101";

// A text property's value: a comma would end the property and a line break the line, so
// both are escaped with a backslash, as is the backslash itself.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        if (c == '\r')
            continue;
        if (c == ',' || c == '\\' || c == '\n')
            out += '\\';
        out += c;
    }
    return out;
}

// An angle to the hundredth as printed, without the "-0.00" of a level wing's noise.
double Hundredths(double value)
{
    return std::round(value * 100.0) / 100.0 + 0.0;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
} // namespace

// ACMI 2.2 text: a header, the recording's global properties on object 0, then frames, each
// a "#SECONDS" line (from ReferenceTime) followed by what changed at that time.
//
// The angles of T=lon|lat|alt|roll|pitch|yaw, as we read the format's public documentation:
// degrees; roll positive with the right wing down, pitch positive with the nose up, yaw the
// heading clockwise from north: the pilot's angles, the same as ExportPoint's, so they go in
// unchanged. Altitude is metres above sea level, as logged.
//
// ReferenceTime is the first point's UTC down to its whole second, and the frames count from
// it; a log without a date has none (there is no day to name), and its frames count from its
// first row. Events become bookmarks on the time line at their own times (an event
// before the first point at the first point's time, since nothing is shown before it).
bool WriteAcmi(const ExportInput& input, const std::string& path, std::string* bytes, std::string* error)
{
    const std::vector<ExportPoint> points = ExportPoints(input);
    if (points.empty())
    {
        *error = "the flight holds no position to write";
        return false;
    }
    const LoadedFlight& flight = *input.flight;
    const bool dated = points.front().utc >= 0.0;
    // The offset from the flight's seconds (from its first row) to the frames' times.
    double offset = 0.0;
    std::string text = "FileType=text/acmi/tacview\nFileVersion=2.2\n";
    if (dated)
    {
        const double reference = std::floor(points.front().utc);
        offset = points.front().utc - points.front().seconds - reference;
        text += "0,ReferenceTime=" + IsoUtc(reference).substr(0, 19) + "Z\n";
    }
    text += "0,Title=" + Escaped(input.title) + "\n0,DataSource=flightreplay\n0,Author=flightreplay\n";
    if (!input.attribution.empty())
    {
        std::string comments;
        for (const std::string& line : input.attribution)
            comments += (comments.empty() ? "" : "\n") + line;
        text += "0,Comments=" + Escaped(comments) + "\n";
    }

    // The bookmarks in time order, each on the frames' clock.
    const double firstRow = flight.rows.empty() ? 0.0 : flight.rows.front().gps_time;
    const double start = points.front().seconds + offset;
    std::vector<std::pair<double, std::string>> marks;
    for (const FlightEvent& each : flight.events)
        if (std::isfinite(each.time))
            marks.emplace_back(std::max(start, each.time - firstRow + offset), each.text.empty() ? FlightEventKindName(each.kind) : each.text);
    std::stable_sort(marks.begin(), marks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    size_t mark = 0;
    char line[256];
    // The bookmarks before `time` (and at it, when `inclusive`), each after a time line of its
    // own when it falls between two frames.
    auto bookmarks = [&](double time, bool inclusive) {
        for (; mark < marks.size() && (marks[mark].first < time || (inclusive && marks[mark].first == time)); ++mark)
        {
            if (marks[mark].first < time)
            {
                snprintf(line, sizeof line, "#%.3f\n", marks[mark].first);
                text += line;
            }
            text += "0,Event=Bookmark|" + Escaped(marks[mark].second) + "\n";
        }
    };
    for (size_t i = 0; i < points.size(); ++i)
    {
        const ExportPoint& p = points[i];
        const double time = p.seconds + offset;
        bookmarks(time, false);
        snprintf(line, sizeof line, "#%.3f\n%s,T=%.7f|%.7f|%.2f|%.2f|%.2f|%.2f", time, AircraftId, p.longitude, p.latitude, p.altitude, Hundredths(p.roll),
                 Hundredths(p.pitch), Hundredths(p.heading));
        text += line;
        if (i == 0)
            text += std::string(",Type=Air+FixedWing,Name=") + Escaped(input.title);
        text += "\n";
        bookmarks(time, true);
    }
    bookmarks(INFINITY, true);

    if (EndsWith(path, ".zip.acmi"))
    {
        // One entry, named as the archive without its ".zip".
        const size_t slash = path.find_last_of('/');
        const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
        ZipArchive zip;
        zip.Add(name.substr(0, name.size() - 9) + ".txt.acmi", text);
        *bytes = zip.Bytes();
    }
    else
        *bytes = std::move(text);
    return true;
}
