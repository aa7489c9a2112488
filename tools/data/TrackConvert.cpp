#include "TrackConvert.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <pugixml.hpp>

static const double SecondsPerDay = 86400.0;

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's civil-days rule).
static int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

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

// Absolute times become seconds from midnight of the first point's day.
static void CountFromFirstMidnight(std::vector<TimedPosition>* points)
{
    if (points->empty())
        return;
    const double midnight = std::floor(points->front().time / SecondsPerDay) * SecondsPerDay;
    for (TimedPosition& point : *points)
        point.time -= midnight;
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
    std::vector<TimedPosition>* points = &flight->positions;
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_file(path.c_str());
    if (!parsed)
    {
        fprintf(stderr, "track: cannot read '%s' as GPX: %s\n", path.c_str(), parsed.description());
        return false;
    }
    const pugi::xpath_node_set found = document.select_nodes("//*[local-name()='trkpt']");
    for (const pugi::xpath_node& entry : found)
    {
        const pugi::xml_node point = entry.node();
        TimedPosition p;
        p.latitude = point.attribute("lat").as_double(NAN);
        p.longitude = point.attribute("lon").as_double(NAN);
        p.altitude = Child(point, "ele").text().as_double(0.0);
        if (!std::isfinite(p.latitude) || !std::isfinite(p.longitude) || !ParseIsoTime(Child(point, "time").text().get(), &p.time))
        {
            fprintf(stderr, "track: '%s': a track point (line offset %ld) lacks a latitude, longitude or time\n", path.c_str(), static_cast<long>(point.offset_debug()));
            return false;
        }
        points->push_back(p);
    }
    CountFromFirstMidnight(points);
    DescribeTrack(flight, "GPX", "trkpt", "seconds from midnight (UTC) of the first point's day");
    return true;
}

// "DDMMmmm" + hemisphere: degrees and thousandths of minutes.
static bool ParseIgcAngle(const std::string& digits, char hemisphere, char negative, char positive, double* degrees)
{
    for (char c : digits)
        if (!isdigit(static_cast<unsigned char>(c)))
            return false;
    if (hemisphere != negative && hemisphere != positive)
        return false;
    const size_t degreeDigits = digits.size() - 5;
    const double whole = atof(digits.substr(0, degreeDigits).c_str());
    const double minutes = atof(digits.substr(degreeDigits).c_str()) / 1000.0;
    *degrees = (whole + minutes / 60.0) * (hemisphere == negative ? -1.0 : 1.0);
    return true;
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
    std::string line;
    double dayOffset = 0.0, previous = -1.0;
    while (std::getline(file, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // B HHMMSS DDMMmmmN DDDMMmmmE V PPPPP GGGGG
        if (line.size() < 35 || line[0] != 'B')
            continue;
        TimedPosition p;
        const int hours = atoi(line.substr(1, 2).c_str()), minutes = atoi(line.substr(3, 2).c_str()), seconds = atoi(line.substr(5, 2).c_str());
        if (!ParseIgcAngle(line.substr(7, 7), line[14], 'S', 'N', &p.latitude) || !ParseIgcAngle(line.substr(15, 8), line[23], 'W', 'E', &p.longitude))
        {
            fprintf(stderr, "track: '%s': malformed B record '%s'\n", path.c_str(), line.c_str());
            return false;
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
    DescribeTrack(flight, "IGC", "B records", "seconds of the UTC day");
    return true;
}

static std::string Lowered(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '"' || isspace(static_cast<unsigned char>(c)); }), text.end());
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

static std::vector<std::string> SplitFields(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream stream(line);
    while (std::getline(stream, field, separator))
        fields.push_back(field);
    return fields;
}

static int FindColumn(const std::vector<std::string>& header, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        for (size_t i = 0; i < header.size(); ++i)
        {
            const std::string field = Lowered(header[i]);
            // A unit in brackets may follow the name: "altitude(m)", "alt [m]".
            const std::string bare = field.substr(0, field.find_first_of("([")) ;
            if (bare == name)
                return static_cast<int>(i);
        }
    return -1;
}

// Seconds of a time field and whether it was absolute (a date or Unix seconds).
static bool ParseTimeField(const std::string& raw, double* seconds, bool* absolute)
{
    std::string text = raw;
    text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
    while (!text.empty() && isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    while (!text.empty() && isspace(static_cast<unsigned char>(text.front())))
        text.erase(text.begin());
    if (ParseIsoTime(text, seconds))
    {
        *absolute = true;
        return true;
    }
    int hours, minutes, used = 0;
    if (sscanf(text.c_str(), "%d:%d:%n", &hours, &minutes, &used) == 2 && used > 0)
    {
        char* end = nullptr;
        const double second = strtod(text.c_str() + used, &end);
        if (*end != '\0')
            return false;
        *seconds = hours * 3600.0 + minutes * 60.0 + second;
        *absolute = false;
        return true;
    }
    char* end = nullptr;
    *seconds = strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(*seconds))
        return false;
    // More than a year of seconds is a Unix time, not a time of day.
    *absolute = *seconds > 366.0 * SecondsPerDay;
    return true;
}

bool ReadCsvTrack(const std::string& path, RecordedFlight* flight)
{
    std::vector<TimedPosition>* points = &flight->positions;
    std::ifstream file(path);
    if (!file)
    {
        fprintf(stderr, "track: cannot open '%s'\n", path.c_str());
        return false;
    }
    std::string line;
    if (!std::getline(file, line))
    {
        fprintf(stderr, "track: '%s' is empty\n", path.c_str());
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const char separator = line.find(',') != std::string::npos ? ',' : (line.find(';') != std::string::npos ? ';' : '\t');
    const std::vector<std::string> header = SplitFields(line, separator);
    const int timeColumn = FindColumn(header, {"time", "timestamp", "datetime", "utc", "t"});
    const int latitudeColumn = FindColumn(header, {"latitude", "lat"});
    const int longitudeColumn = FindColumn(header, {"longitude", "lon", "lng", "long"});
    const int altitudeColumn = FindColumn(header, {"altitude", "alt", "elevation", "ele", "height"});
    if (timeColumn < 0 || latitudeColumn < 0 || longitudeColumn < 0 || altitudeColumn < 0)
    {
        fprintf(stderr, "track: '%s' needs a header naming time, latitude, longitude and altitude columns\n", path.c_str());
        return false;
    }
    const int needed = std::max({timeColumn, latitudeColumn, longitudeColumn, altitudeColumn});
    bool anyAbsolute = false;
    int lineNumber = 1;
    while (std::getline(file, line))
    {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos)
            continue;
        const std::vector<std::string> fields = SplitFields(line, separator);
        TimedPosition p;
        bool absolute = false;
        char* end[3];
        if (static_cast<int>(fields.size()) > needed && ParseTimeField(fields[timeColumn], &p.time, &absolute))
        {
            p.latitude = strtod(fields[latitudeColumn].c_str(), &end[0]);
            p.longitude = strtod(fields[longitudeColumn].c_str(), &end[1]);
            p.altitude = strtod(fields[altitudeColumn].c_str(), &end[2]);
            if (end[0] != fields[latitudeColumn].c_str() && end[1] != fields[longitudeColumn].c_str() && end[2] != fields[altitudeColumn].c_str())
            {
                anyAbsolute = anyAbsolute || absolute;
                points->push_back(p);
                continue;
            }
        }
        fprintf(stderr, "track: '%s' line %d: cannot read time, latitude, longitude and altitude\n", path.c_str(), lineNumber);
        return false;
    }
    if (anyAbsolute)
        CountFromFirstMidnight(points);
    DescribeTrack(flight, "CSV", "rows", anyAbsolute ? "seconds from midnight of the first row's day" : "seconds as the file gives them");
    return true;
}
