#include "track/FlightTraffic.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "batch/AtomicFile.h"
#include "track/MavlinkMessages.h"
#include "track/RecordedFlight.h"

namespace
{

// ADSB_VEHICLE's flags: a value is valid where its bit is set.
const uint32_t ValidCoordinates = 1, ValidAltitude = 2, ValidHeading = 4, ValidVelocity = 8;
const double NoInt32 = 2147483647.0, NoUInt16 = 65535.0;

const char* const HeaderLine = "time,address,callsign,latitude,longitude,altitude,heading,speed";
// Faster over the ground than any aircraft a small drone meets: a garbled report.
const double FastestTraffic = 1000.0; // m/s

bool PossiblePlace(const TimedTraffic& t)
{
    return std::isfinite(t.latitude) && std::isfinite(t.longitude) && std::fabs(t.latitude) <= 90.0 && std::fabs(t.longitude) <= 180.0 && !(t.latitude == 0.0 && t.longitude == 0.0);
}

// An altitude, heading or speed no aircraft has becomes unknown; the heading turned into [0, 360).
void Tidy(TimedTraffic* t)
{
    if (!(t->altitude >= LowestTrafficAltitude && t->altitude <= HighestTrafficAltitude))
        t->altitude = NAN;
    if (std::isfinite(t->heading) && std::fabs(t->heading) < 1e6)
    {
        t->heading = std::fmod(t->heading, 360.0);
        if (t->heading < 0.0)
            t->heading += 360.0;
        if (t->heading >= 360.0)
            t->heading = 0.0;
    }
    else
        t->heading = NAN;
    if (!(t->speed >= 0.0 && t->speed <= FastestTraffic))
        t->speed = NAN;
}

void AppendNumber(std::string* text, const char* format, double value)
{
    *text += ',';
    if (!std::isfinite(value))
        return;
    char number[48];
    snprintf(number, sizeof number, format, value);
    *text += number;
}

} // namespace

std::string TrafficCallsign(const std::string& field)
{
    std::string callsign;
    for (char c : field)
    {
        if (c == '\0')
            break;
        if (c >= ' ' && c < 127 && c != ',')
            callsign += c;
    }
    const size_t first = callsign.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return callsign.substr(first, callsign.find_last_not_of(' ') - first + 1);
}

TimedTraffic AdsbVehicleReport(const MavlinkMessage& message, const uint8_t* payload, double time)
{
    const auto value = [&](const char* name, size_t index = 0)
    {
        const MavlinkField* field = message.Field(name);
        return field ? MavlinkValue(*field, payload, index) : NAN;
    };
    TimedTraffic t;
    t.time = time;
    t.address = static_cast<uint32_t>(value("ICAO_address"));
    std::string callsign;
    for (size_t i = 0; i < 9; ++i)
        callsign += static_cast<char>(static_cast<uint8_t>(value("callsign", i)));
    t.callsign = TrafficCallsign(callsign);
    // A sender that sets no flag at all says nothing of what is valid: its values stand.
    const uint32_t flags = static_cast<uint32_t>(value("flags"));
    const auto valid = [flags](uint32_t bit) { return flags == 0 || (flags & bit) != 0; };
    const double latitude = value("lat"), longitude = value("lon"), altitude = value("altitude");
    const double heading = value("heading"), speed = value("hor_velocity");
    if (valid(ValidCoordinates) && latitude != NoInt32 && longitude != NoInt32)
    {
        t.latitude = latitude * 1e-7;
        t.longitude = longitude * 1e-7;
    }
    if (valid(ValidAltitude) && altitude != NoInt32)
        t.altitude = altitude / 1000.0;
    if (valid(ValidHeading) && heading != NoUInt16)
        t.heading = heading / 100.0;
    if (valid(ValidVelocity) && speed != NoUInt16)
        t.speed = speed / 100.0;
    return t;
}

void AddTraffic(std::vector<TimedTraffic>* traffic, const TimedTraffic& report)
{
    if (traffic->size() < MaximumTrafficRecords)
        traffic->push_back(report);
}

void KeepPossibleTraffic(RecordedFlight* flight)
{
    std::vector<TimedTraffic>& traffic = flight->traffic;
    const size_t before = traffic.size();
    traffic.erase(std::remove_if(traffic.begin(), traffic.end(), [](const TimedTraffic& t) { return !PossiblePlace(t) || !std::isfinite(t.time); }), traffic.end());
    for (TimedTraffic& t : traffic)
        Tidy(&t);
    const size_t impossible = before - traffic.size();
    if (impossible > 0)
        flight->notes.push_back(std::to_string(impossible) + (impossible == 1 ? " traffic report" : " traffic reports") + " with impossible positions left out");
}

std::vector<TimedTraffic> TrafficOnRows(const std::vector<TimedTraffic>& traffic, double origin)
{
    std::vector<TimedTraffic> onRows = traffic;
    for (TimedTraffic& t : onRows)
        t.time -= origin;
    std::stable_sort(onRows.begin(), onRows.end(), [](const TimedTraffic& a, const TimedTraffic& b) { return a.time < b.time; });
    return onRows;
}

size_t TrafficAircraft(const std::vector<TimedTraffic>& traffic)
{
    std::set<uint32_t> addresses;
    for (const TimedTraffic& t : traffic)
        addresses.insert(t.address);
    return addresses.size();
}

std::string TrafficSummary(const std::vector<TimedTraffic>& traffic)
{
    if (traffic.empty())
        return std::string();
    return std::to_string(traffic.size()) + (traffic.size() == 1 ? " traffic report of " : " traffic reports of ") + std::to_string(TrafficAircraft(traffic)) + " aircraft";
}

std::string TrafficName(const TimedTraffic& report)
{
    if (!report.callsign.empty())
        return report.callsign;
    char hex[16];
    snprintf(hex, sizeof hex, "%06X", static_cast<unsigned>(report.address & 0xFFFFFFu));
    return hex;
}

std::string TrafficPathFor(const std::string& logPath)
{
    return PathWithExtension(logPath, ".traffic.csv");
}

bool WriteTraffic(const std::string& path, const std::vector<TimedTraffic>& traffic, std::string* error)
{
    return WriteRecordsAfterHeader(path, HeaderLine, traffic, error, [](const TimedTraffic& t) {
        char start[64];
        snprintf(start, sizeof start, "%.3f,%06X,", t.time, static_cast<unsigned>(t.address & 0xFFFFFFu));
        std::string line = start + TrafficCallsign(t.callsign);
        AppendNumber(&line, "%.7f", t.latitude);
        AppendNumber(&line, "%.7f", t.longitude);
        AppendNumber(&line, "%.1f", t.altitude);
        AppendNumber(&line, "%.1f", t.heading);
        AppendNumber(&line, "%.2f", t.speed);
        return line;
    });
}

bool ReadTraffic(const std::string& path, std::vector<TimedTraffic>* traffic, size_t* skipped, std::string* error)
{
    const auto parse = [traffic](const std::vector<std::string>& fields, TimedTraffic* t) {
        if (fields.size() != 8 || traffic->size() >= MaximumTrafficRecords || !ReadCsvNumber(fields[0], false, &t->time))
            return false;
        const std::string& hex = fields[1];
        char* end = nullptr;
        const unsigned long address = strtoul(hex.c_str(), &end, 16);
        if (hex.empty() || hex.size() > 6 || *end != '\0' || hex.find_first_of("+- ") != std::string::npos)
            return false;
        t->address = static_cast<uint32_t>(address);
        t->callsign = TrafficCallsign(fields[2]);
        if (!ReadCsvNumber(fields[3], false, &t->latitude) || !ReadCsvNumber(fields[4], false, &t->longitude) || !ReadCsvNumber(fields[5], true, &t->altitude) || !ReadCsvNumber(fields[6], true, &t->heading) ||
            !ReadCsvNumber(fields[7], true, &t->speed) || !PossiblePlace(*t))
            return false;
        Tidy(t);
        return true;
    };
    if (!ReadRecordsAfterHeader(path, HeaderLine, traffic, skipped, error, parse))
        return false;
    std::stable_sort(traffic->begin(), traffic->end(), [](const TimedTraffic& a, const TimedTraffic& b) { return a.time < b.time; });
    return true;
}
