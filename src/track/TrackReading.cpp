#include "track/TrackReading.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int64_t* month, int64_t* day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = yearOfEra + era * 400 + (*month <= 2);
}

void SkippedPoints::Skip(const std::string& reason, size_t line)
{
    for (Reason& known : reasons)
        if (known.text == reason)
        {
            ++known.count;
            return;
        }
    reasons.push_back({reason, 1, line});
}

size_t SkippedPoints::Total() const
{
    size_t total = 0;
    for (const Reason& reason : reasons)
        total += reason.count;
    return total;
}

void SkippedPoints::Report(RecordedFlight* flight) const
{
    for (const Reason& reason : reasons)
        flight->skippedPoints.emplace_back(reason.text + " (" + (reason.count > 1 ? "the first " : "") + "on line " + std::to_string(reason.firstLine) + ")", reason.count);
}

size_t LineAt(std::string_view bytes, size_t offset)
{
    const size_t end = std::min(offset, bytes.size());
    return 1 + static_cast<size_t>(std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(end), '\n'));
}

bool IsText(std::string_view bytes)
{
    return bytes.substr(0, TextWindow).find('\0') == std::string_view::npos;
}

std::string FirstTextLine(std::string_view bytes)
{
    const std::string_view head = bytes.substr(0, TextWindow);
    if (head.find('\0') != std::string_view::npos)
        return "";
    size_t start = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; // a UTF-8 byte-order mark
    start = head.find_first_not_of(" \t\r\n", start);
    if (start == std::string_view::npos)
        return "";
    return std::string(head.substr(start, head.find_first_of("\r\n", start) - start));
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

void DescribeTrack(RecordedFlight* flight, const char* format, const char* stream, const char* clock, const char* wanted)
{
    flight->format = format;
    flight->clock = clock;
    flight->positionWanted = wanted ? wanted : stream;
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

bool RowUtcSeconds(const SampleRow& row, double* seconds)
{
    const int32_t date = row.gps_date;
    const int32_t day = date / 10000, month = date / 100 % 100, year = date % 100;
    if (date <= 0 || day < 1 || day > 31 || month < 1 || month > 12 || !std::isfinite(row.gps_time))
        return false;
    if (row.gps_time > 2.0 * SecondsPerDay)
        *seconds = row.gps_time;
    else
        // Two digits of year: 1980 onwards, as GPS dates begin then.
        *seconds = static_cast<double>(DaysFromCivil(year < 80 ? 2000 + year : 1900 + year, month, day)) * SecondsPerDay + row.gps_time;
    return true;
}
