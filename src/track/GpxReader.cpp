#include "track/GpxReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <pugixml.hpp>

#include "track/TrackReading.h"

bool IsGpx(std::string_view bytes)
{
    const std::string line = FirstTextLine(bytes);
    return !line.empty() && line[0] == '<';
}

static pugi::xml_node Child(pugi::xml_node node, const char* localName)
{
    // GPX files differ in their namespace prefixes; the local name is what counts.
    for (pugi::xml_node child : node.children())
    {
        const char* name = child.name();
        const char* colon = strchr(name, ':');
        if (strcmp(colon ? colon + 1 : name, localName) == 0)
            return child;
    }
    return pugi::xml_node();
}

bool ReadGpxTrack(const FlightFile& file, RecordedFlight* flight, std::string* message)
{
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(file.Bytes().data(), file.Bytes().size());
    if (!parsed)
    {
        *message = "cannot read '" + file.Path() + "' as GPX: " + parsed.description() + " on line " +
                   std::to_string(LineAt(file.Bytes(), static_cast<size_t>(std::max<ptrdiff_t>(parsed.offset, 0))));
        return false;
    }
    SkippedPoints skipped;
    const pugi::xpath_node_set found = document.select_nodes("//*[local-name()='trkpt']");
    for (const pugi::xpath_node& entry : found)
    {
        const pugi::xml_node point = entry.node();
        TimedPosition p;
        p.latitude = point.attribute("lat").as_double(NAN);
        p.longitude = point.attribute("lon").as_double(NAN);
        // Without <ele> the altitude is unknown, not 0 m: the conversion interpolates it.
        const pugi::xml_node elevation = Child(point, "ele");
        p.altitude = elevation ? elevation.text().as_double(NAN) : NAN;
        std::string time = Child(point, "time").text().get();
        time.erase(0, time.find_first_not_of(" \t\r\n"));
        time.erase(time.find_last_not_of(" \t\r\n") + 1);
        const auto line = [&file, point]() { return LineAt(file.Bytes(), static_cast<size_t>(std::max<ptrdiff_t>(point.offset_debug(), 0))); };
        if (!(std::fabs(p.latitude) <= 90.0) || !(std::fabs(p.longitude) <= 180.0))
            skipped.SkipAt("without a latitude and longitude", line);
        else if (time.empty())
            skipped.SkipAt("without a time", line);
        else if (!ParseIsoTime(time, &p.time))
            skipped.SkipAt("with a time that is no date and time", line);
        else
            flight->positions.push_back(p);
    }
    skipped.Report(flight);
    flight->timesSinceEpoch = true;
    DescribeTrack(flight, "GPX", "trkpt", "seconds since 1970 (UTC), in the log from midnight of the first day");
    return true;
}

