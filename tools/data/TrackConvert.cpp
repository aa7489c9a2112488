#include "TrackConvert.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <pugixml.hpp>

#include "TrackReading.h"

bool ParseIsoTime(const std::string& text, double* seconds)
{
    int year, month, day, hour, minute, used = 0;
    if (sscanf(text.c_str(), "%4d-%2d-%2d%*[T ]%2d:%2d:%n", &year, &month, &day, &hour, &minute, &used) != 5 || used == 0)
        return false;
    const char* rest = text.c_str() + used;
    char* end = nullptr;
    const double second = strtod(rest, &end);
    if (end == rest || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second < 0.0 || second >= 61.0)
        return false;
    double offset = 0.0;
    if (*end == '+' || *end == '-')
    {
        int offsetHours = 0, offsetMinutes = 0;
        if (sscanf(end + 1, "%2d:%2d", &offsetHours, &offsetMinutes) < 1)
            return false;
        offset = (*end == '-' ? -1.0 : 1.0) * (offsetHours * 3600.0 + offsetMinutes * 60.0);
    }
    else if (*end != '\0' && *end != 'Z' && *end != 'z')
        return false;
    *seconds = static_cast<double>(DaysFromCivil(year, month, day)) * SecondsPerDay + hour * 3600.0 + minute * 60.0 + second - offset;
    return true;
}

// The format, the clock and the one stream of a track file, once its points are read.
static void DescribeTrack(RecordedFlight* flight, const char* format, const char* stream, const char* clock)
{
    flight->format = format;
    flight->clock = clock;
    flight->positionWanted = stream;
    flight->positionSource = stream;
    RecordedStream record;
    record.name = stream;
    record.count = flight->positions.size();
    record.used = !flight->positions.empty();
    if (!flight->positions.empty())
    {
        const auto span = std::minmax_element(flight->positions.begin(), flight->positions.end(), [](const TimedPosition& a, const TimedPosition& b) { return a.time < b.time; });
        record.firstTime = span.first->time;
        record.lastTime = span.second->time;
    }
    flight->streams.push_back(record);
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

bool ReadGpxTrack(const std::string& path, RecordedFlight* flight)
{
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(path.c_str());
    if (!parsed)
    {
        fprintf(stderr, "track: cannot read '%s' as GPX: %s on line %zu\n", path.c_str(), parsed.description(), LineInFile(path, static_cast<size_t>(std::max<ptrdiff_t>(parsed.offset, 0))));
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
        const auto line = [&path, point]() { return LineInFile(path, static_cast<size_t>(std::max<ptrdiff_t>(point.offset_debug(), 0))); };
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

// "DDMMmmm" + hemisphere: degrees and thousandths of minutes; `extra` is the digit of ten
// thousandths an I record's LAD or LOD extension adds, or -1.
static bool ParseIgcAngle(const std::string& digits, char hemisphere, char negative, char positive, int extra, double* degrees)
{
    for (char c : digits)
        if (!isdigit(static_cast<unsigned char>(c)))
            return false;
    if (hemisphere != negative && hemisphere != positive)
        return false;
    const size_t degreeDigits = digits.size() - 5;
    const double whole = atof(digits.substr(0, degreeDigits).c_str());
    const double minutes = atof(digits.substr(degreeDigits).c_str()) / 1000.0 + (extra >= 0 ? extra / 10000.0 : 0.0);
    if (minutes >= 60.0)
        return false;
    *degrees = (whole + minutes / 60.0) * (hemisphere == negative ? -1.0 : 1.0);
    return true;
}

// Where the I record puts the extra digit of latitude (LAD) and longitude (LOD) minutes in
// each B record: 0-based byte positions, or npos.
struct IgcExtensions
{
    size_t latitudeDigit = std::string::npos;
    size_t longitudeDigit = std::string::npos;
};

// I NN then NN times SS FF CCC: the extension CCC from byte SS to FF (from 1) of a B record.
static IgcExtensions ParseIgcExtensions(const std::string& line)
{
    IgcExtensions extensions;
    const int count = atoi(line.substr(1, 2).c_str());
    for (int i = 0; i < count && 3 + 7 * static_cast<size_t>(i) + 7 <= line.size(); ++i)
    {
        const std::string entry = line.substr(3 + 7 * static_cast<size_t>(i), 7);
        const int first = atoi(entry.substr(0, 2).c_str()), last = atoi(entry.substr(2, 2).c_str());
        if (first < 1 || last != first)
            continue; // a one-digit extension is all this reader uses
        if (entry.compare(4, 3, "LAD") == 0)
            extensions.latitudeDigit = static_cast<size_t>(first - 1);
        else if (entry.compare(4, 3, "LOD") == 0)
            extensions.longitudeDigit = static_cast<size_t>(first - 1);
    }
    return extensions;
}

static int ExtraDigit(const std::string& line, size_t position)
{
    return position < line.size() && isdigit(static_cast<unsigned char>(line[position])) ? line[position] - '0' : -1;
}

bool ReadIgcTrack(const std::string& path, RecordedFlight* flight)
{
    std::vector<TimedPosition>* points = &flight->positions;
    std::ifstream file(path);
    if (!file)
    {
        fprintf(stderr, "track: cannot open '%s'\n", path.c_str());
        return false;
    }
    SkippedPoints skipped;
    IgcExtensions extensions;
    std::string line;
    size_t lineNumber = 0;
    double dayOffset = 0.0, previous = -1.0;
    while (std::getline(file, line))
    {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == 'I')
            extensions = ParseIgcExtensions(line);
        // B HHMMSS DDMMmmmN DDDMMmmmE V PPPPP GGGGG, then the I record's extensions
        if (line.empty() || line[0] != 'B')
            continue;
        TimedPosition p;
        bool timeRead = line.size() >= 35;
        for (size_t i = 1; i < 7 && timeRead; ++i)
            timeRead = isdigit(static_cast<unsigned char>(line[i])) != 0;
        const int hours = timeRead ? atoi(line.substr(1, 2).c_str()) : 0, minutes = timeRead ? atoi(line.substr(3, 2).c_str()) : 0, seconds = timeRead ? atoi(line.substr(5, 2).c_str()) : 0;
        if (!timeRead || hours > 23 || minutes > 59 || seconds > 59 || !ParseIgcAngle(line.substr(7, 7), line[14], 'S', 'N', ExtraDigit(line, extensions.latitudeDigit), &p.latitude) ||
            !ParseIgcAngle(line.substr(15, 8), line[23], 'W', 'E', ExtraDigit(line, extensions.longitudeDigit), &p.longitude) || p.latitude < -90.0 || p.latitude > 90.0 || p.longitude < -180.0 || p.longitude > 180.0)
        {
            skipped.Skip("in B records that cannot be read", lineNumber);
            continue;
        }
        if (p.latitude == 0.0 && p.longitude == 0.0)
        {
            skipped.Skip("without a fix (at 0 N 0 E)", lineNumber);
            continue;
        }
        const double pressureAltitude = atof(line.substr(25, 5).c_str());
        const double gnssAltitude = atof(line.substr(30, 5).c_str());
        p.altitude = line[24] == 'A' && gnssAltitude != 0.0 ? gnssAltitude : pressureAltitude;
        double time = hours * 3600.0 + minutes * 60.0 + seconds;
        if (previous >= 0.0 && time + dayOffset < previous - SecondsPerDay / 2)
            dayOffset += SecondsPerDay; // the flight went on past midnight UTC
        time += dayOffset;
        previous = time;
        p.time = time;
        points->push_back(p);
    }
    skipped.Report(flight);
    DescribeTrack(flight, "IGC", "B records", "seconds of the UTC day");
    return true;
}
