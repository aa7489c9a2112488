// Fuzz target of the readers of flight files. The first byte picks the format from the
// track library's table (its value modulo the number of formats: 0 ULog, 1 DataFlash,
// 2 MAVLink telemetry, 3 GPX, 4 IGC, 5 video telemetry, 6 CSV); the rest is the file, in a buffer of its own
// size so that any read past it is a heap overflow. The autopilot logs' recognition tests
// run on every file. What a reader hands on is checked against what the conversion relies on.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "track/DataFlashReader.h"
#include "track/FlightFormats.h"
#include "track/MavlinkReader.h"
#include "track/RecordedFlight.h"
#include "track/ULogReader.h"

namespace
{

const RecordedStream* FindStream(const RecordedFlight& flight, const std::string& name)
{
    for (const RecordedStream& stream : flight.streams)
        if (stream.name == name)
            return &stream;
    return nullptr;
}

void CheckFlight(const RecordedFlight& flight, size_t size)
{
    CHECK(flight.skippedBytes <= size);
    for (const TimedPosition& p : flight.positions)
    {
        CHECK(std::isfinite(p.time));
        CHECK(std::isfinite(p.latitude) && std::fabs(p.latitude) <= 90.0);
        CHECK(std::isfinite(p.longitude) && std::fabs(p.longitude) <= 180.0);
        CHECK(!std::isinf(p.altitude));
    }
    for (const TimedAttitude& a : flight.attitudes)
        CHECK(std::isfinite(a.time) && std::isfinite(a.roll) && std::isfinite(a.pitch) && std::isfinite(a.yaw));
    for (int c = 0; c < FlightChannelCount; ++c)
        for (const TimedValue& v : flight.channels[c])
            CHECK(std::isfinite(v.time) && std::isfinite(v.value));
    // What was taken names a stream that was used and holds at least as many records.
    if (!flight.positions.empty())
    {
        const RecordedStream* source = FindStream(flight, flight.positionSource);
        CHECK(source && source->used && source->count >= flight.positions.size());
    }
    if (!flight.attitudes.empty())
    {
        const RecordedStream* source = FindStream(flight, flight.attitudeSource);
        CHECK(source && source->used && source->count >= flight.attitudes.size());
    }
    for (const TimedGimbal& g : flight.gimbal)
        CHECK(std::isfinite(g.time) && std::isfinite(g.roll) && std::isfinite(g.pitch) && std::isfinite(g.yaw));
    CHECK(flight.gimbal.size() <= MaximumGimbalRecords);
    if (!flight.gimbal.empty())
    {
        const RecordedStream* source = FindStream(flight, flight.gimbalSource);
        CHECK(source && source->used && source->count >= flight.gimbal.size());
    }
    for (const RecordedStream& stream : flight.streams)
        CHECK(!stream.used || stream.count > 0);
    CHECK(flight.events.size() <= MaximumFlightEvents);
    for (const FlightEvent& event : flight.events)
        CHECK(std::isfinite(event.time) && event.severity >= 0 && event.severity <= 7 && event.text.size() <= MaximumEventText);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::vector<uint8_t> file(data + 1, data + size);
    const uint8_t* bytes = file.empty() ? nullptr : file.data();
    const size_t length = file.size();
    // Every recognition test runs on every file, for faults of its own.
    const bool ulog = IsULog(bytes, length);
    const bool dataflash = IsDataFlash(bytes, length);
    IsMavlinkTelemetry(bytes, length);
    CHECK(!(ulog && dataflash));

    const std::vector<FlightFormat>& formats = FlightFormats();
    const FlightFormat& format = formats[data[0] % formats.size()];
    const FlightFile input("fuzz input", std::string_view(reinterpret_cast<const char*>(bytes), length));
    RecordedFlight flight;
    std::string message;
    const bool read = format.read(input, &flight, &message);
    CHECK(read || !message.empty());
    const std::string name = format.name;
    CHECK(name != "ULog" || !read || ulog);
    CHECK(name != "DataFlash" || read == dataflash);
    if (read)
        CheckFlight(flight, length);
    return 0;
}
