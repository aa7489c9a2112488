#include "track/FlightEvents.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "batch/AtomicFile.h"

namespace
{

const char* const HeaderLine = "time,kind,severity,text";
const FlightEventKind Kinds[] = {FlightEventKind::Arming, FlightEventKind::Disarming, FlightEventKind::Mode, FlightEventKind::Failsafe, FlightEventKind::Message};

// The text cut to `limit` bytes, backing off to the start of a UTF-8 character.
std::string Cut(std::string text, size_t limit)
{
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

void AppendText(std::string* line, const std::string& text)
{
    std::string cleaned = text;
    for (char& c : cleaned)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\r' && c != '\n') || c == 0x7F)
            c = ' ';
    if (cleaned.find_first_of(",\"\r\n") == std::string::npos)
    {
        *line += cleaned;
        return;
    }
    *line += '"';
    for (char c : cleaned)
    {
        if (c == '"')
            *line += '"';
        *line += c;
    }
    *line += '"';
}

// One record of the CSV from `at`: its fields, `at` moved past its end of line. False when
// it is no record (a stray quote, text after a closing quote, a quote left open); `at` is
// then past the physical line it began on.
bool ReadRecord(const std::string& bytes, size_t* at, std::vector<std::string>* fields)
{
    const size_t start = *at;
    const auto skipLine = [&]()
    {
        const size_t end = bytes.find('\n', start);
        *at = end == std::string::npos ? bytes.size() : end + 1;
        return false;
    };
    fields->assign(1, std::string());
    size_t i = start;
    while (i < bytes.size())
    {
        const char c = bytes[i];
        if (c == '\n' || (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
        {
            *at = i + (c == '\r' ? 2 : 1);
            return true;
        }
        if (c == ',')
        {
            fields->emplace_back();
            ++i;
            continue;
        }
        if (c != '"')
        {
            fields->back() += c;
            ++i;
            continue;
        }
        if (!fields->back().empty())
            return skipLine(); // a quote inside an unquoted field
        // A quoted field: up to the quote that is not doubled.
        ++i;
        bool closed = false;
        while (i < bytes.size())
        {
            if (bytes[i] == '"')
            {
                if (i + 1 < bytes.size() && bytes[i + 1] == '"')
                {
                    fields->back() += '"';
                    i += 2;
                    continue;
                }
                ++i;
                closed = true;
                break;
            }
            fields->back() += bytes[i++];
        }
        if (!closed)
            return skipLine();
        if (i < bytes.size() && bytes[i] != ',' && bytes[i] != '\n' && !(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            return skipLine();
    }
    *at = bytes.size();
    return true;
}

bool ParseEvent(const std::vector<std::string>& fields, FlightEvent* event)
{
    if (fields.size() != 4 || fields[0].empty() || fields[2].empty())
        return false;
    char* end = nullptr;
    event->time = strtod(fields[0].c_str(), &end);
    if (*end != '\0' || !std::isfinite(event->time))
        return false;
    const auto kind = std::find_if(std::begin(Kinds), std::end(Kinds), [&](FlightEventKind k) { return fields[1] == FlightEventKindName(k); });
    if (kind == std::end(Kinds))
        return false;
    event->kind = *kind;
    const long severity = strtol(fields[2].c_str(), &end, 10);
    if (*end != '\0' || severity < 0 || severity > 7)
        return false;
    event->severity = static_cast<int>(severity);
    event->text = Cut(fields[3], MaximumEventText);
    return true;
}

} // namespace

const char* FlightEventKindName(FlightEventKind kind)
{
    switch (kind)
    {
    case FlightEventKind::Arming:
        return "arm";
    case FlightEventKind::Disarming:
        return "disarm";
    case FlightEventKind::Mode:
        return "mode";
    case FlightEventKind::Failsafe:
        return "failsafe";
    case FlightEventKind::Message:
        break;
    }
    return "message";
}

bool AppendFlightEvent(std::vector<FlightEvent>* events, size_t* overflow, double time, FlightEventKind kind, int severity, std::string text)
{
    if (events->size() >= MaximumFlightEvents)
    {
        ++*overflow;
        return false;
    }
    FlightEvent event;
    event.time = time;
    event.kind = kind;
    event.severity = std::clamp(severity, 0, 7);
    event.text = Cut(std::move(text), MaximumEventText);
    events->push_back(std::move(event));
    return true;
}

std::string EventsPathFor(const std::string& logPath)
{
    return PathWithExtension(logPath, ".events.csv");
}

bool WriteFlightEvents(const std::string& path, const std::vector<FlightEvent>& events, std::string* error)
{
    std::string text = std::string(HeaderLine) + "\n";
    for (const FlightEvent& event : events)
    {
        char head[80];
        snprintf(head, sizeof head, "%.3f,%s,%d,", event.time, FlightEventKindName(event.kind), std::clamp(event.severity, 0, 7));
        text += head;
        AppendText(&text, event.text);
        text += '\n';
    }
    return WriteFileAtomically(path, text, error);
}

bool ReadFlightEvents(const std::string& path, std::vector<FlightEvent>* events, size_t* skipped, std::string* error)
{
    events->clear();
    *skipped = 0;
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error))
        return false;
    size_t at = 0;
    std::vector<std::string> fields;
    if (!ReadRecord(bytes, &at, &fields) || fields.size() != 4 || fields[0] + "," + fields[1] + "," + fields[2] + "," + fields[3] != HeaderLine)
    {
        *error = "'" + path + "' does not begin with the line \"" + HeaderLine + "\"";
        return false;
    }
    while (at < bytes.size())
    {
        FlightEvent event;
        const bool record = ReadRecord(bytes, &at, &fields);
        if (record && fields.size() == 1 && fields[0].empty())
            continue; // an empty line
        if (!record || !ParseEvent(fields, &event))
            ++*skipped;
        else if (events->size() >= MaximumFlightEvents)
            ++*skipped;
        else
            events->push_back(std::move(event));
    }
    std::stable_sort(events->begin(), events->end(), [](const FlightEvent& a, const FlightEvent& b) { return a.time < b.time; });
    return true;
}
