// What the CSV reader takes from each column is listed in CsvReader.h; the rules for the
// values are here.
#include "track/CsvReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "geo/Geodesy.h"
#include "track/TrackReading.h"

namespace
{

const double Feet = 0.3048;                   // metres
const double Knots = 1852.0 / 3600.0;         // m/s
const double KilometresPerHour = 1.0 / 3.6;   // m/s
const double MilesPerHour = 0.44704;          // m/s
// Numbers in a time column are seconds since 1970 from a year's worth of seconds on (a time of
// the day or since boot is smaller), milliseconds from 1e11 (1973 in milliseconds, the year
// 5138 in seconds) and microseconds from 1e14.
const double EpochSeconds = 366.0 * SecondsPerDay;
const double EpochMilliseconds = 1e11;
const double EpochMicroseconds = 1e14;
const size_t NamesListed = 12; // header names quoted in the refusal

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
    return text;
}

// The text in lower case without blanks, underscores, hyphens and full stops: "Lcl Date" and
// "lcl_date" both give "lcldate".
std::string Squeezed(const std::string& text)
{
    std::string squeezed;
    for (char c : Lowered(text))
        if (!isspace(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
            squeezed += c;
    return squeezed;
}

// The fields of a line, cut at the separator outside double quotes, trimmed, quotes removed.
std::vector<std::string> SplitCsvLine(const std::string& line, char separator)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (char c : line)
    {
        if (c == '"')
            quoted = !quoted;
        else if (c == separator && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    for (std::string& field : fields)
        field = Trimmed(field);
    return fields;
}

// A header field: its name, squeezed, and a unit in brackets after it ("Alt (ft)", "speed[km/h]").
struct ColumnName
{
    std::string name;
    std::string unit;
};

ColumnName ParseColumnName(const std::string& field)
{
    ColumnName column;
    const size_t bracket = field.find_first_of("([");
    column.name = Squeezed(field.substr(0, bracket));
    if (bracket != std::string::npos)
    {
        const size_t close = field.find_first_of(")]", bracket);
        column.unit = Trimmed(field.substr(bracket + 1, close == std::string::npos ? std::string::npos : close - bracket - 1));
    }
    return column;
}

// The first column, in the order of the names given, whose name is one of them.
int FindColumn(const std::vector<ColumnName>& header, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i].name == name)
                return static_cast<int>(i);
    return -1;
}

// A number at the start of the field and the text after it, trimmed: "98.470 m" gives 98.47 and
// "m", "8(9)" gives 8 and "(9)".
bool ParseNumber(const std::string& field, double* value, std::string* rest = nullptr)
{
    const char* start = field.c_str();
    char* end = nullptr;
    *value = strtod(start, &end);
    if (end == start || !std::isfinite(*value))
        return false;
    if (rest)
        *rest = Trimmed(end);
    return true;
}

// The factor to SI of a unit of length or speed, 0 for a unit this reader does not know, and
// 1 for none at all when `noneIsSi`.
double LengthFactor(const std::string& unit)
{
    const std::string u = Squeezed(unit);
    if (u.compare(0, 2, "ft") == 0 || u.compare(0, 4, "feet") == 0)
        return Feet; // "ft", "ft msl", "ft wgs", "feet"
    if (u.compare(0, 2, "km") == 0)
        return 1000.0;
    if (u.empty() || u[0] == 'm')
        return 1.0; // "m", "m msl", "meters", "metres"
    return 0.0;
}

double SpeedFactor(const std::string& unit)
{
    const std::string u = Squeezed(unit);
    if (u == "m/s" || u == "mps" || u == "ms" || u == "ms1" || u == "m/sec")
        return 1.0;
    if (u == "km/h" || u == "kmh" || u == "kph" || u == "kmph")
        return KilometresPerHour;
    if (u == "kt" || u == "kts" || u == "kn" || u == "knots" || u == "knot")
        return Knots;
    if (u == "mph")
        return MilesPerHour;
    return 0.0;
}

double AngleFactor(const std::string& unit)
{
    const std::string u = Squeezed(unit);
    return u == "rad" || u == "radians" ? 1.0 : RadiansPerDegree;
}

// A latitude or longitude in degrees: a decimal number, with its sign or with its hemisphere
// letter before or after it ("49.07N", "N 49.07", "-49.07"), or in the field of a hemisphere
// column. False when it is none of these or names the other axis's hemisphere.
bool ParseCoordinate(const std::string& field, const std::string& hemisphereField, char negative, char positive, double* degrees)
{
    std::string text = field;
    char hemisphere = 0;
    if (!text.empty() && isalpha(static_cast<unsigned char>(text[0])))
    {
        hemisphere = static_cast<char>(toupper(static_cast<unsigned char>(text[0])));
        text = Trimmed(text.substr(1));
    }
    std::string rest;
    if (!ParseNumber(text, degrees, &rest))
        return false;
    if (rest.compare(0, 2, "\xC2\xB0") == 0) // a degree sign
        rest = Trimmed(rest.substr(2));
    if (rest.size() == 1 && hemisphere == 0)
        hemisphere = static_cast<char>(toupper(static_cast<unsigned char>(rest[0])));
    else if (!rest.empty())
        return false;
    if (hemisphere == 0 && !hemisphereField.empty())
        hemisphere = static_cast<char>(toupper(static_cast<unsigned char>(hemisphereField[0])));
    if (hemisphere != 0 && hemisphere != negative && hemisphere != positive)
        return false;
    if (hemisphere == negative)
        *degrees = -std::fabs(*degrees);
    return true;
}

// Which of day and month comes first in a date with the year last.
enum class DayOrder
{
    DayFirst,
    MonthFirst,
};

// Days since 1970 of the date at the start of the text: year first ("2008/01/27",
// "2008-01-27", "2008.01.27") or last ("27.01.2008", "01/27/2008" by `order`). `used` is the
// length of the date.
bool ParseDate(const std::string& text, DayOrder order, int64_t* days, size_t* used)
{
    int a = 0, b = 0, c = 0, length = 0;
    char s1 = 0, s2 = 0;
    if (sscanf(text.c_str(), "%4d%c%2d%c%4d%n", &a, &s1, &b, &s2, &c, &length) != 5 || s1 != s2 || (s1 != '-' && s1 != '/' && s1 != '.'))
        return false;
    int year = a, month = b, day = c;
    if (a < 100)
    {
        year = c;
        month = order == DayOrder::MonthFirst ? a : b;
        day = order == DayOrder::MonthFirst ? b : a;
    }
    if (year < 1900 || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    *days = DaysFromCivil(year, month, day);
    *used = static_cast<size_t>(length);
    return true;
}

// Seconds of a time of the day at the start of the text: "13:03:22.836", "9:05", "1:03:22 PM".
bool ParseTimeOfDay(const std::string& text, double* seconds, size_t* used)
{
    int hours = 0, minutes = 0, length = 0;
    if (sscanf(text.c_str(), "%2d:%2d%n", &hours, &minutes, &length) != 2 || !isdigit(static_cast<unsigned char>(text[0])))
        return false;
    double second = 0.0;
    size_t end = static_cast<size_t>(length);
    if (end < text.size() && text[end] == ':')
    {
        const char* start = text.c_str() + end + 1;
        char* after = nullptr;
        second = strtod(start, &after);
        if (after == start || !isdigit(static_cast<unsigned char>(*start)))
            return false;
        end = static_cast<size_t>(after - text.c_str());
    }
    const std::string meridiem = Lowered(Trimmed(text.substr(end, 3)));
    if ((meridiem == "am" || meridiem == "pm") && hours >= 1 && hours <= 12)
    {
        hours = hours % 12 + (meridiem == "pm" ? 12 : 0);
        end = text.find_first_of("mM", end) + 1;
    }
    if (hours > 23 || minutes > 59 || second < 0.0 || second >= 61.0)
        return false;
    *seconds = hours * 3600.0 + minutes * 60.0 + second;
    *used = end;
    return true;
}

// Seconds east of UTC of a zone: "Z", "UTC", "+02:00", "-0700", "+2"; true for an empty text.
bool ParseZone(const std::string& text, double* seconds)
{
    std::string zone = Trimmed(text);
    *seconds = 0.0;
    if (zone.empty() || zone == "Z" || zone == "z" || Lowered(zone) == "utc" || Lowered(zone) == "gmt")
        return true;
    if (Lowered(zone).compare(0, 3, "utc") == 0)
        zone = zone.substr(3);
    if (zone[0] != '+' && zone[0] != '-')
        return false;
    int hours = 0, minutes = 0;
    const std::string digits = zone.substr(1);
    if (digits.find(':') != std::string::npos)
    {
        if (sscanf(digits.c_str(), "%2d:%2d", &hours, &minutes) != 2)
            return false;
    }
    else if (digits.size() == 4 && std::all_of(digits.begin(), digits.end(), [](char c) { return isdigit(static_cast<unsigned char>(c)); }))
    {
        hours = atoi(digits.substr(0, 2).c_str());
        minutes = atoi(digits.substr(2).c_str());
    }
    else if (!digits.empty() && digits.size() <= 2 && std::all_of(digits.begin(), digits.end(), [](char c) { return isdigit(static_cast<unsigned char>(c)); }))
        hours = atoi(digits.c_str());
    else
        return false;
    if (hours > 14 || minutes > 59)
        return false;
    *seconds = (zone[0] == '-' ? -1.0 : 1.0) * (hours * 3600.0 + minutes * 60.0);
    return true;
}

// A date and a time of the day in one field ("2008/01/27 13:03:22", "2024-05-01T10:00:00Z"):
// seconds since 1970, UTC when it names its zone.
bool ParseDateTime(const std::string& text, DayOrder order, double* seconds)
{
    int64_t days = 0;
    size_t used = 0;
    if (!ParseDate(text, order, &days, &used))
        return false;
    size_t at = used;
    while (at < text.size() && (text[at] == 'T' || text[at] == ' ' || text[at] == ','))
        ++at;
    if (at == used)
        return false;
    double timeOfDay = 0.0, zone = 0.0;
    if (!ParseTimeOfDay(text.substr(at), &timeOfDay, &used) || !ParseZone(text.substr(at + used), &zone))
        return false;
    *seconds = static_cast<double>(days) * SecondsPerDay + timeOfDay - zone;
    return true;
}

// What a fix column says when the receiver had no fix.
bool SaysNoFix(const std::string& field)
{
    const std::string value = Squeezed(field);
    for (const char* none : {"nofix", "none", "invalid", "nosoln", "nosolution", "notfixed", "novalidfix", "v", "0", "no", "false"})
        if (value == none)
            return true;
    return false;
}

// The columns of a CSV track, -1 where the header has none.
struct CsvColumns
{
    int time = -1, date = -1, zone = -1;
    int latitude = -1, latitudeHemisphere = -1, longitude = -1, longitudeHemisphere = -1, altitude = -1;
    int fix = -1, speed = -1, satellites = -1;
    int pitch = -1, roll = -1, heading = -1, variation = -1;
};

CsvColumns FindColumns(const std::vector<ColumnName>& header)
{
    CsvColumns c;
    c.time = FindColumn(header, {"datetime", "timestamp", "time", "utctime", "lcltime", "localtime", "gpstime", "timeutc", "date/time", "utc", "t"});
    c.date = FindColumn(header, {"date", "utcdate", "lcldate", "localdate", "gpsdate", "dateutc"});
    c.zone = FindColumn(header, {"utcofst", "utcoffset", "timezone", "tz", "zone"});
    c.latitude = FindColumn(header, {"latitude", "lat", "latituden/s", "latitudens", "latdeg", "latitudedeg"});
    c.longitude = FindColumn(header, {"longitude", "lon", "lng", "long", "longitudee/w", "longitudeew", "londeg", "longitudedeg"});
    c.altitude = FindColumn(header, {"altmsl", "altitudemsl", "altitude", "alt", "elevation", "ele", "height", "altgps", "gpsaltitude", "gpsalt"});
    // A hemisphere column follows its coordinate ("LATITUDE,N/S,LONGITUDE,E/W") or names its axis.
    const auto hemisphere = [&header](int after, std::initializer_list<const char*> names, std::initializer_list<const char*> bare)
    {
        const int named = FindColumn(header, names);
        if (named >= 0)
            return named;
        if (after >= 0 && after + 1 < static_cast<int>(header.size()))
            for (const char* name : bare)
                if (header[after + 1].name == name)
                    return after + 1;
        return -1;
    };
    c.latitudeHemisphere = hemisphere(c.latitude, {"n/s", "ns", "latref", "latituderef", "lathemisphere"}, {"hemisphere", "hem"});
    c.longitudeHemisphere = hemisphere(c.longitude, {"e/w", "ew", "lonref", "longituderef", "lonhemisphere"}, {"hemisphere", "hem"});
    c.fix = FindColumn(header, {"valid", "fix", "fixtype", "fixmode", "gpsfix", "fixquality", "validity"});
    c.speed = FindColumn(header, {"speed", "groundspeed", "gndspd", "gs", "sog", "spd"});
    c.satellites = FindColumn(header, {"satellites", "sats", "nsat", "numsats", "numsat", "satellitesused"});
    c.pitch = FindColumn(header, {"pitch"});
    c.roll = FindColumn(header, {"roll", "bank"});
    c.heading = FindColumn(header, {"hdg", "heading", "trueheading", "yaw"});
    c.variation = FindColumn(header, {"magvar", "magneticvariation", "variation", "declination"});
    return c;
}

// The line's field of the column, empty when the line has none.
const std::string& FieldOf(const std::vector<std::string>& fields, int column)
{
    static const std::string none;
    return column >= 0 && column < static_cast<int>(fields.size()) ? fields[column] : none;
}

// What the time column holds.
enum class TimeKind
{
    Unknown,
    Absolute,  // seconds since 1970
    TimeOfDay, // seconds of the day, without a date: rolls over at midnight
    Relative,  // seconds on the logger's own clock
};

} // namespace

bool IsCsv(std::string_view bytes)
{
    return IsText(bytes);
}

bool ReadCsvTrack(const FlightFile& file, RecordedFlight* flight, std::string* message)
{
    std::istringstream text{std::string(file.Bytes())};
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    if (!lines.empty() && lines[0].compare(0, 3, "\xEF\xBB\xBF") == 0)
        lines[0].erase(0, 3);

    // The header is the first line that is neither blank nor a # comment; a comment line just
    // before it with as many fields gives the columns' units.
    size_t headerLine = 0;
    std::string unitsLine;
    while (headerLine < lines.size())
    {
        const std::string line = Trimmed(lines[headerLine]);
        if (!line.empty() && line[0] != '#')
            break;
        if (!line.empty())
            unitsLine = line.substr(1);
        ++headerLine;
    }
    if (headerLine == lines.size())
    {
        *message = "'" + file.Path() + "' holds no header line naming the columns";
        return false;
    }
    const std::string& headerText = lines[headerLine];
    const size_t commas = std::count(headerText.begin(), headerText.end(), ','), semicolons = std::count(headerText.begin(), headerText.end(), ';');
    const size_t tabs = std::count(headerText.begin(), headerText.end(), '\t');
    const char separator = commas >= semicolons && commas >= tabs ? ',' : (semicolons >= tabs ? ';' : '\t');
    const std::vector<std::string> headerFields = SplitCsvLine(headerText, separator);
    std::vector<ColumnName> header;
    for (const std::string& field : headerFields)
        header.push_back(ParseColumnName(field));
    const std::vector<std::string> units = SplitCsvLine(unitsLine, separator);
    if (units.size() == header.size())
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i].unit.empty())
                header[i].unit = units[i];

    const CsvColumns columns = FindColumns(header);
    std::string missing;
    for (const auto& needed : {std::make_pair(columns.time, "time"), std::make_pair(columns.latitude, "latitude"), std::make_pair(columns.longitude, "longitude"), std::make_pair(columns.altitude, "altitude")})
        if (needed.first < 0)
            missing += std::string(missing.empty() ? "no " : " and no ") + needed.second;
    if (!missing.empty())
    {
        std::string names;
        for (size_t i = 0; i < headerFields.size() && i < NamesListed; ++i)
            names += (i > 0 ? ", " : "") + headerFields[i];
        if (headerFields.size() > NamesListed)
            names += " and " + std::to_string(headerFields.size() - NamesListed) + " more";
        *message = "'" + file.Path() + "' is refused: its header (line " + std::to_string(headerLine + 1) + ") has " + missing + " column; it names " + names;
        return false;
    }

    // Day and month: the order that no date of the file contradicts; else month first with
    // slashes (01/27/2008) and day first with dots or hyphens (27.01.2008).
    DayOrder order = DayOrder::DayFirst;
    {
        bool dayFirstFails = false, monthFirstFails = false, slashes = false;
        const int dateColumn = columns.date >= 0 ? columns.date : columns.time;
        for (size_t n = headerLine + 1; n < lines.size(); ++n)
        {
            int a = 0, b = 0, c = 0;
            char s1 = 0, s2 = 0;
            const std::vector<std::string> fields = SplitCsvLine(lines[n], separator);
            if (sscanf(FieldOf(fields, dateColumn).c_str(), "%4d%c%2d%c%4d", &a, &s1, &b, &s2, &c) != 5 || s1 != s2)
                continue;
            if (a >= 100)
                break; // the year first: the file's dates need no order
            {
                slashes = slashes || s1 == '/';
                dayFirstFails = dayFirstFails || b > 12;
                monthFirstFails = monthFirstFails || a > 12;
            }
        }
        if (dayFirstFails != monthFirstFails)
            order = dayFirstFails ? DayOrder::MonthFirst : DayOrder::DayFirst;
        else
            order = slashes ? DayOrder::MonthFirst : DayOrder::DayFirst;
    }

    const double altitudeFactor = LengthFactor(header[columns.altitude].unit);
    const double speedColumnFactor = columns.speed >= 0 ? SpeedFactor(header[columns.speed].unit) : 0.0;
    const std::string timeUnit = Squeezed(header[columns.time].unit);
    const bool attitude = columns.pitch >= 0 && columns.roll >= 0 && columns.heading >= 0;
    const double pitchFactor = attitude ? AngleFactor(header[columns.pitch].unit) : 0.0;
    const double rollFactor = attitude ? AngleFactor(header[columns.roll].unit) : 0.0;
    const double headingFactor = attitude ? AngleFactor(header[columns.heading].unit) : 0.0;

    SkippedPoints skipped;
    TimeKind kind = TimeKind::Unknown;
    double dayOffset = 0.0, previousTimeOfDay = -1.0;
    for (size_t n = headerLine + 1; n < lines.size(); ++n)
    {
        const size_t lineNumber = n + 1;
        const std::string line = Trimmed(lines[n]);
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> fields = SplitCsvLine(lines[n], separator);

        // The time: a date and time, a time with the date column, or a number.
        const std::string& timeField = FieldOf(fields, columns.time);
        if (timeField.empty())
        {
            skipped.Skip("without a time", lineNumber);
            continue;
        }
        double time = 0.0, timeOfDay = 0.0, number = 0.0;
        size_t used = 0;
        int64_t days = 0;
        TimeKind rowKind = TimeKind::Unknown;
        bool written = false; // a date and time as text, on the clock of the zone column
        std::string rest;
        if (ParseDateTime(timeField, order, &time))
        {
            rowKind = TimeKind::Absolute;
            written = true;
        }
        else if (ParseTimeOfDay(timeField, &timeOfDay, &used) && Trimmed(timeField.substr(used)).empty())
        {
            if (columns.date >= 0 && ParseDate(FieldOf(fields, columns.date), order, &days, &used))
            {
                time = static_cast<double>(days) * SecondsPerDay + timeOfDay;
                rowKind = TimeKind::Absolute;
                written = true;
            }
            else if (columns.date < 0)
            {
                // Without a date, a time that steps back by more than half a day is the next day's.
                if (previousTimeOfDay >= 0.0 && timeOfDay + dayOffset < previousTimeOfDay - SecondsPerDay / 2.0)
                    dayOffset += SecondsPerDay;
                time = timeOfDay + dayOffset;
                previousTimeOfDay = time;
                rowKind = TimeKind::TimeOfDay;
            }
        }
        else if (ParseNumber(timeField, &number, &rest) && rest.empty())
        {
            const double scale = timeUnit == "ms" ? 1e-3 : (timeUnit == "us" || timeUnit == "\xC2\xB5s" ? 1e-6 : 0.0);
            if (scale > 0.0)
                time = number * scale;
            else
                time = std::fabs(number) >= EpochMicroseconds ? number * 1e-6 : (std::fabs(number) >= EpochMilliseconds ? number * 1e-3 : number);
            rowKind = time >= EpochSeconds ? TimeKind::Absolute : TimeKind::Relative;
        }
        if (rowKind == TimeKind::Unknown || (kind != TimeKind::Unknown && rowKind != kind))
        {
            skipped.Skip(rowKind == TimeKind::Unknown ? "with a time that cannot be read" : "with a time of another kind than the first row's", lineNumber);
            continue;
        }
        kind = rowKind;
        double zone = 0.0;
        if (written && columns.zone >= 0 && ParseZone(FieldOf(fields, columns.zone), &zone))
            time -= zone; // local time to UTC

        // The attitude is the aircraft's own, fix or not.
        if (attitude)
        {
            double pitch = 0.0, roll = 0.0, heading = 0.0, variation = 0.0;
            std::string variationSide;
            if (ParseNumber(FieldOf(fields, columns.pitch), &pitch) && ParseNumber(FieldOf(fields, columns.roll), &roll) && ParseNumber(FieldOf(fields, columns.heading), &heading))
            {
                // A magnetic heading turns true by the variation, east positive ("11.6", "11.6E", "3W").
                if (ParseNumber(FieldOf(fields, columns.variation), &variation, &variationSide) && Lowered(variationSide) == "w")
                    variation = -std::fabs(variation);
                flight->attitudes.push_back({time, roll * rollFactor, pitch * pitchFactor, (heading + variation) * headingFactor});
            }
        }

        if (columns.fix >= 0 && SaysNoFix(FieldOf(fields, columns.fix)))
        {
            skipped.Skip("without a fix", lineNumber);
            continue;
        }
        const std::string& latitudeField = FieldOf(fields, columns.latitude);
        const std::string& longitudeField = FieldOf(fields, columns.longitude);
        if (latitudeField.empty() || longitudeField.empty())
        {
            skipped.Skip("without a latitude and longitude", lineNumber);
            continue;
        }
        TimedPosition p;
        p.time = time;
        if (!ParseCoordinate(latitudeField, FieldOf(fields, columns.latitudeHemisphere), 'S', 'N', &p.latitude) ||
            !ParseCoordinate(longitudeField, FieldOf(fields, columns.longitudeHemisphere), 'W', 'E', &p.longitude) || std::fabs(p.latitude) > 90.0 || std::fabs(p.longitude) > 180.0)
        {
            skipped.Skip("with a latitude or longitude that cannot be read", lineNumber);
            continue;
        }
        if (p.latitude == 0.0 && p.longitude == 0.0)
        {
            skipped.Skip("without a fix (at 0 N 0 E)", lineNumber);
            continue;
        }
        // An empty or unreadable altitude is unknown; the conversion interpolates it.
        double altitude = 0.0;
        std::string unit;
        p.altitude = NAN;
        if (ParseNumber(FieldOf(fields, columns.altitude), &altitude, &unit))
        {
            const double factor = unit.empty() ? altitudeFactor : LengthFactor(unit);
            if (factor > 0.0)
                p.altitude = altitude * factor;
        }
        flight->positions.push_back(p);

        double value = 0.0;
        if (columns.speed >= 0 && ParseNumber(FieldOf(fields, columns.speed), &value, &unit))
        {
            const double factor = unit.empty() ? speedColumnFactor : SpeedFactor(unit);
            if (factor > 0.0) // a speed without a known unit is left to the positions
                flight->channels[static_cast<int>(FlightChannel::GroundSpeed)].push_back({time, value * factor});
        }
        if (columns.satellites >= 0 && ParseNumber(FieldOf(fields, columns.satellites), &value))
            flight->channels[static_cast<int>(FlightChannel::Satellites)].push_back({time, value});
    }
    skipped.Report(flight);
    flight->timesSinceEpoch = kind == TimeKind::Absolute;
    DescribeTrack(flight, "CSV", "rows", kind == TimeKind::Absolute ? "seconds since 1970 (UTC), in the log from midnight of the first day" : (kind == TimeKind::TimeOfDay ? "seconds of the day" : "seconds as the file gives them"),
                  "rows with a time, latitude, longitude and altitude");
    if (!flight->attitudes.empty())
    {
        flight->attitudeSource = "rows' " + headerFields[columns.pitch] + ", " + headerFields[columns.roll] + " and " + headerFields[columns.heading];
        RecordedStream angles;
        angles.name = flight->attitudeSource;
        angles.count = flight->attitudes.size();
        angles.used = true;
        angles.firstTime = flight->attitudes.front().time;
        angles.lastTime = flight->attitudes.back().time;
        flight->streams.push_back(angles);
    }
    return true;
}
