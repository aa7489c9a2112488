#include "track/SrtReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "geo/Geodesy.h"

namespace
{

// "HH:MM:SS,mmm" (or with a point) at `at`: seconds, and *at moved past it.
bool ParseTimecode(const std::string& line, size_t* at, double* seconds)
{
    size_t i = *at;
    int parts[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k)
    {
        if (i + 2 > line.size() || !isdigit(static_cast<unsigned char>(line[i])) || !isdigit(static_cast<unsigned char>(line[i + 1])))
            return false;
        parts[k] = (line[i] - '0') * 10 + (line[i + 1] - '0');
        i += 2;
        if (k < 2)
        {
            if (i >= line.size() || line[i] != ':')
                return false;
            ++i;
        }
    }
    double fraction = 0.0;
    if (i < line.size() && (line[i] == ',' || line[i] == '.'))
    {
        double scale = 0.1;
        for (++i; i < line.size() && isdigit(static_cast<unsigned char>(line[i])); ++i, scale /= 10.0)
            fraction += (line[i] - '0') * scale;
    }
    if (parts[1] > 59 || parts[2] > 59)
        return false;
    *seconds = parts[0] * 3600.0 + parts[1] * 60.0 + parts[2] + fraction;
    *at = i;
    return true;
}

// A cue's times line: "00:00:01,000 --> 00:00:02,000"; its start.
bool ParseCueTimes(const std::string& line, double* start)
{
    size_t at = 0;
    while (at < line.size() && line[at] == ' ')
        ++at;
    double end = 0.0;
    if (!ParseTimecode(line, &at, start))
        return false;
    const size_t arrow = line.find("-->", at);
    if (arrow == std::string::npos)
        return false;
    at = arrow + 3;
    while (at < line.size() && line[at] == ' ')
        ++at;
    return ParseTimecode(line, &at, &end);
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && text.size() <= 9 && std::all_of(text.begin(), text.end(), [](char c) { return isdigit(static_cast<unsigned char>(c)) != 0; });
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    size_t begin = 0;
    while (begin < text.size() && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    return text.substr(begin);
}

// The text without its markup (<font size="28">, </font>).
std::string WithoutTags(const std::string& text)
{
    std::string plain;
    bool inTag = false;
    for (char c : text)
    {
        if (c == '<')
            inTag = true;
        else if (c == '>' && inTag)
            inTag = false;
        else if (!inTag)
            plain += c;
    }
    return plain;
}

// A number at `at` (after spaces), *at moved past it; false when there is none.
bool NumberAt(const std::string& text, size_t* at, double* value)
{
    size_t i = *at;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i >= text.size() || !(isdigit(static_cast<unsigned char>(text[i])) || text[i] == '-' || text[i] == '+' || text[i] == '.'))
        return false;
    const char* begin = text.c_str() + i;
    char* end = nullptr;
    const double number = strtod(begin, &end);
    if (end == begin || end - begin > 24 || !std::isfinite(number))
        return false;
    *value = number;
    *at = i + static_cast<size_t>(end - begin);
    return true;
}

// The number after "key:" (or "key :"), where the key starts a word.
bool KeyedNumber(const std::string& text, const char* key, double* value)
{
    const size_t length = strlen(key);
    for (size_t found = text.find(key); found != std::string::npos; found = text.find(key, found + 1))
    {
        if (found > 0 && (isalnum(static_cast<unsigned char>(text[found - 1])) || text[found - 1] == '_' || text[found - 1] == '.'))
            continue;
        size_t at = found + length;
        while (at < text.size() && text[at] == ' ')
            ++at;
        if (at < text.size() && (text[at] == ':' || text[at] == '('))
            ++at;
        else if (!(at > found + length)) // "H 85.80m": a space alone may part the key and its number
            continue;
        if (NumberAt(text, &at, value))
            return true;
    }
    return false;
}

// The numbers of "KEY(a, b, c)" or "KEY (a, b, c)", each perhaps with a unit after it
// ("-57.98m", "110.1°"); how many were read, at most `most`.
size_t Tuple(const std::string& text, const char* key, double* values, size_t most)
{
    const size_t length = strlen(key);
    for (size_t found = text.find(key); found != std::string::npos; found = text.find(key, found + 1))
    {
        if (found > 0 && (isalnum(static_cast<unsigned char>(text[found - 1])) || text[found - 1] == '.'))
            continue;
        size_t at = found + length;
        while (at < text.size() && text[at] == ' ')
            ++at;
        if (at >= text.size() || text[at] != '(')
            continue;
        ++at;
        size_t count = 0;
        while (count < most && NumberAt(text, &at, &values[count]))
        {
            ++count;
            while (at < text.size() && text[at] != ',' && text[at] != ')')
                ++at; // a unit
            if (at >= text.size() || text[at] == ')')
                break;
            ++at;
        }
        return count;
    }
    return 0;
}

// "2026-05-27 13:10:00.015", "2018-02-19 08:04:51,265,847" (milliseconds, then
// microseconds), "2017.08.05 14:11:51": seconds since 1970, and whether the seconds had a fraction.
bool WallClock(const std::string& text, double* seconds, bool* fractional)
{
    for (size_t i = 0; i + 19 <= text.size(); ++i)
    {
        const auto digits = [&](size_t from, size_t count) {
            for (size_t k = from; k < from + count; ++k)
                if (!isdigit(static_cast<unsigned char>(text[k])))
                    return false;
            return true;
        };
        if (!digits(i, 4) || (text[i + 4] != '-' && text[i + 4] != '.') || text[i + 7] != text[i + 4] || !digits(i + 5, 2) || !digits(i + 8, 2) || text[i + 10] != ' ')
            continue;
        size_t at = i + 11;
        double time = 0.0;
        if (!ParseTimecode(text, &at, &time))
            continue;
        const int year = atoi(text.substr(i, 4).c_str()), month = atoi(text.substr(i + 5, 2).c_str()), day = atoi(text.substr(i + 8, 2).c_str());
        if (year < 1990 || month < 1 || month > 12 || day < 1 || day > 31 || time >= SecondsPerDay)
            continue;
        *fractional = std::floor(time) != time || (i + 19 < text.size() && (text[i + 19] == ',' || text[i + 19] == '.'));
        // A second group of digits after a comma: the microseconds beyond the milliseconds.
        if (at < text.size() && text[at] == ',' && at + 1 < text.size() && isdigit(static_cast<unsigned char>(text[at + 1])))
        {
            double extra = 0.0, scale = 1e-4;
            for (++at; at < text.size() && isdigit(static_cast<unsigned char>(text[at])) && scale > 1e-7; ++at, scale /= 10.0)
                extra += (text[at] - '0') * scale;
            time += extra;
        }
        *seconds = static_cast<double>(DaysFromCivil(year, month, day)) * SecondsPerDay + time;
        return true;
    }
    return false;
}

bool Latitude(double value)
{
    return std::isfinite(value) && std::fabs(value) <= 90.0;
}

bool Longitude(double value)
{
    return std::isfinite(value) && std::fabs(value) <= 180.0;
}

// What one cue says.
struct Cue
{
    double start = 0.0;  // seconds from the clip's start
    size_t line = 0;     // of its times
    std::string text;    // its lines joined by spaces, without markup
};

struct CueFigures
{
    double latitude = NAN, longitude = NAN;
    double absolute = NAN;      // metres above sea level
    double aboveHome = NAN;     // metres above the home point
    double homeAltitude = NAN;  // metres above sea level
    double satellites = NAN;
    double speed = NAN;         // horizontal, m/s
    double pitch = NAN, roll = NAN, yaw = NAN; // degrees
    double gimbalPitch = NAN, gimbalRoll = NAN, gimbalYaw = NAN; // degrees
    double focalLength = NAN; // millimetres, 35 mm equivalent
    bool gimbalKeys = false;  // the attitude came as gb_yaw, gb_pitch, gb_roll
    double clock = NAN;         // seconds since 1970
    bool fractionalClock = false;
};

CueFigures ReadCue(const std::string& text)
{
    CueFigures cue;
    double value = 0.0;
    if (KeyedNumber(text, "latitude", &value) || KeyedNumber(text, "lat", &value))
        cue.latitude = value;
    if (KeyedNumber(text, "longitude", &value) || KeyedNumber(text, "longtitude", &value) || KeyedNumber(text, "lon", &value) || KeyedNumber(text, "lng", &value))
        cue.longitude = value;
    if (KeyedNumber(text, "abs_alt", &value))
        cue.absolute = value;
    if (KeyedNumber(text, "rel_alt", &value) || KeyedNumber(text, "BAROMETER", &value) || KeyedNumber(text, "H", &value))
        cue.aboveHome = value;
    if (KeyedNumber(text, "H.S", &value))
        cue.speed = value;
    double gps[3], home[3];
    const size_t gpsCount = Tuple(text, "GPS", gps, 3);
    if (gpsCount >= 2 && std::isnan(cue.latitude))
    {
        // Longitude first, as the layouts with GPS(...) write it, unless that cannot be.
        const bool latitudeFirst = !Latitude(gps[1]) && Latitude(gps[0]);
        cue.latitude = latitudeFirst ? gps[0] : gps[1];
        cue.longitude = latitudeFirst ? gps[1] : gps[0];
        if (gpsCount == 3 && gps[2] >= 0.0 && gps[2] < 100.0 && std::floor(gps[2]) == gps[2])
            cue.satellites = gps[2];
    }
    if (Tuple(text, "HOME", home, 3) == 3)
        cue.homeAltitude = home[2];
    double attitude[3];
    if (Tuple(text, "F.PRY", attitude, 3) == 3)
    {
        cue.pitch = attitude[0];
        cue.roll = attitude[1];
        cue.yaw = attitude[2];
    }
    // The camera's attitude in the Earth frame: the pitch from the horizon, the yaw from
    // north, either as G.PRY (pitch, roll, yaw) or as the keys gb_yaw, gb_pitch, gb_roll.
    if (Tuple(text, "G.PRY", attitude, 3) == 3)
    {
        cue.gimbalPitch = attitude[0];
        cue.gimbalRoll = attitude[1];
        cue.gimbalYaw = attitude[2];
    }
    else if (KeyedNumber(text, "gb_yaw", &cue.gimbalYaw) && KeyedNumber(text, "gb_pitch", &cue.gimbalPitch) && KeyedNumber(text, "gb_roll", &cue.gimbalRoll))
        cue.gimbalKeys = true;
    else
        cue.gimbalPitch = cue.gimbalRoll = cue.gimbalYaw = NAN;
    if (KeyedNumber(text, "focal_len", &value))
        cue.focalLength = value;
    WallClock(text, &cue.clock, &cue.fractionalClock);
    return cue;
}

// The cues of an SRT file in order, cut at each times line; a cue's number is the last line
// before the next one's times.
std::vector<Cue> SplitCues(std::string_view bytes)
{
    std::vector<Cue> cues;
    size_t from = 0, lineNumber = 0;
    std::string held; // the line before, which may be the next cue's number
    while (from < bytes.size())
    {
        size_t end = bytes.find('\n', from);
        if (end == std::string_view::npos)
            end = bytes.size();
        const std::string line = Trimmed(std::string(bytes.substr(from, end - from)));
        from = end + 1;
        ++lineNumber;
        double start = 0.0;
        if (ParseCueTimes(line, &start))
        {
            held.clear();
            cues.push_back(Cue{start, lineNumber, std::string()});
            continue;
        }
        if (cues.empty())
            continue;
        if (!held.empty())
            cues.back().text += " " + held;
        held = AllDigits(line) ? line : std::string();
        if (held.empty() && !line.empty() && cues.back().text.size() < 4096)
            cues.back().text += " " + WithoutTags(line);
    }
    return cues;
}

// The cues with a usable position, and what the whole file says of its clock and heights.
struct UsableCues
{
    std::vector<CueFigures> figures;
    std::vector<double> starts; // each one's start on the clip's clock
    SkippedPoints skipped;
    bool anyAbsolute = false, anyHome = false, fractional = false;
    double firstClock = NAN, firstClockStart = 0.0;
};

UsableCues ReadUsableCues(std::string_view bytes)
{
    UsableCues usable;
    for (const Cue& cue : SplitCues(bytes))
    {
        const CueFigures read = ReadCue(cue.text);
        if (std::isnan(usable.firstClock) && std::isfinite(read.clock))
        {
            usable.firstClock = read.clock;
            usable.firstClockStart = cue.start;
            usable.fractional = read.fractionalClock;
        }
        if (!Latitude(read.latitude) || !Longitude(read.longitude))
        {
            usable.skipped.Skip(std::isnan(read.latitude) || std::isnan(read.longitude) ? "without a position" : "with a position out of range", cue.line);
            continue;
        }
        if (read.latitude == 0.0 && read.longitude == 0.0)
        {
            usable.skipped.Skip("without a fix (at 0 N 0 E)", cue.line);
            continue;
        }
        usable.anyAbsolute = usable.anyAbsolute || std::isfinite(read.absolute);
        usable.anyHome = usable.anyHome || std::isfinite(read.homeAltitude);
        usable.figures.push_back(read);
        usable.starts.push_back(cue.start);
    }
    return usable;
}

// The cue's height above sea level (or above the take-off point when the file gives no
// sea level at all), NaN without one; *lastHome carries the home's altitude between cues.
double CueAltitude(const CueFigures& cue, bool anyHome, double* lastHome)
{
    if (std::isfinite(cue.homeAltitude))
        *lastHome = cue.homeAltitude;
    double altitude = cue.absolute;
    if (std::isnan(altitude) && std::isfinite(cue.aboveHome))
        altitude = anyHome ? *lastHome + cue.aboveHome : cue.aboveHome;
    return std::isfinite(altitude) ? altitude : NAN;
}

} // namespace

bool IsSrt(std::string_view bytes)
{
    if (!AllDigits(Trimmed(FirstTextLine(bytes))))
        return false;
    const std::string head(bytes.substr(0, TextWindow));
    size_t at = head.find('\n', head.find_first_of("0123456789"));
    while (at != std::string::npos && at + 1 < head.size() && (head[at + 1] == '\r' || head[at + 1] == '\n'))
        ++at;
    if (at == std::string::npos)
        return false;
    const size_t end = head.find('\n', at + 1);
    double start = 0.0;
    return ParseCueTimes(Trimmed(head.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1)), &start);
}

std::vector<SrtCue> ReadSrtCues(std::string_view bytes, size_t* skipped)
{
    const UsableCues usable = ReadUsableCues(bytes);
    std::vector<SrtCue> cues;
    double lastHome = NAN;
    for (size_t i = 0; i < usable.figures.size(); ++i)
    {
        const CueFigures& cue = usable.figures[i];
        const double altitude = CueAltitude(cue, usable.anyHome, &lastHome);
        cues.push_back(SrtCue{usable.starts[i], cue.latitude, cue.longitude, altitude, cue.speed, usable.anyAbsolute || usable.anyHome});
    }
    if (skipped)
        *skipped = usable.skipped.Total();
    return cues;
}

bool ReadSrtTrack(const FlightFile& file, RecordedFlight* flight, std::string*)
{
    UsableCues usable = ReadUsableCues(file.Bytes());
    const std::vector<CueFigures>& figures = usable.figures;
    const std::vector<double>& starts = usable.starts;
    const bool anyAbsolute = usable.anyAbsolute, anyHome = usable.anyHome, fractional = usable.fractional;
    const double firstClock = usable.firstClock, firstClockStart = usable.firstClockStart;
    SkippedPoints& skipped = usable.skipped;

    // One clock for the whole clip: the wall clock of each cue where it counts fractions of a
    // second, else the first cue's wall clock carried on by the cues' own times.
    flight->timesSinceEpoch = std::isfinite(firstClock);
    const bool ownClocks = flight->timesSinceEpoch && fractional;
    double lastHome = NAN;
    for (size_t i = 0; i < figures.size(); ++i)
    {
        const CueFigures& cue = figures[i];
        const double time = ownClocks && std::isfinite(cue.clock) ? cue.clock : flight->timesSinceEpoch ? firstClock + (starts[i] - firstClockStart) : starts[i];
        const double altitude = CueAltitude(cue, anyHome, &lastHome);
        flight->positions.push_back(TimedPosition{time, cue.latitude, cue.longitude, altitude});
        if (std::isfinite(cue.pitch) && std::isfinite(cue.roll) && std::isfinite(cue.yaw))
            flight->attitudes.push_back(TimedAttitude{time, cue.roll * RadiansPerDegree, cue.pitch * RadiansPerDegree, WrapLongitude(cue.yaw) * RadiansPerDegree});
        if (std::isfinite(cue.gimbalPitch) && std::isfinite(cue.gimbalRoll) && std::isfinite(cue.gimbalYaw) && std::fabs(cue.gimbalPitch) <= 180.0 && std::fabs(cue.gimbalRoll) <= 180.0)
        {
            TimedGimbal gimbal;
            gimbal.time = time;
            gimbal.pitch = cue.gimbalPitch * RadiansPerDegree;
            gimbal.roll = cue.gimbalRoll * RadiansPerDegree;
            gimbal.yaw = WrapLongitude(cue.gimbalYaw) * RadiansPerDegree;
            FieldOfViewOfFocalLength(cue.focalLength, &gimbal.horizontalFov, &gimbal.verticalFov);
            flight->gimbal.push_back(gimbal);
            flight->gimbalSource = cue.gimbalKeys ? "gb_yaw, gb_pitch, gb_roll" : "G.PRY";
        }
        if (std::isfinite(cue.speed))
            flight->channels[static_cast<int>(FlightChannel::GroundSpeed)].push_back({time, cue.speed});
        if (std::isfinite(cue.satellites))
            flight->channels[static_cast<int>(FlightChannel::Satellites)].push_back({time, cue.satellites});
    }
    if (!flight->attitudes.empty())
    {
        RecordedStream attitude;
        attitude.name = flight->attitudeSource = "F.PRY";
        attitude.count = flight->attitudes.size();
        attitude.firstTime = flight->attitudes.front().time;
        attitude.lastTime = flight->attitudes.back().time;
        attitude.used = true;
        flight->streams.push_back(attitude);
    }
    if (!flight->gimbal.empty())
    {
        RecordedStream gimbal;
        gimbal.name = flight->gimbalSource;
        gimbal.count = flight->gimbal.size();
        gimbal.firstTime = flight->gimbal.front().time;
        gimbal.lastTime = flight->gimbal.back().time;
        gimbal.used = true;
        flight->streams.push_back(gimbal);
    }
    if (!anyAbsolute && !anyHome && !flight->positions.empty())
        flight->notes.push_back("heights above the take-off point: the file gives no height above sea level, so the flight is drawn that high above 0 m");
    skipped.Report(flight);
    DescribeTrack(flight, "video telemetry", "cues", flight->timesSinceEpoch ? "the wall-clock line's date and time (the file names no time zone: read as UTC)" : "seconds from the clip's start",
                  "cues with a latitude and longitude ([latitude: ...] [longitude: ...], or GPS(longitude, latitude, ...))");
    return true;
}
