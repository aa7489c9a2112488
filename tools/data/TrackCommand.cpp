#include "TrackCommand.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "ConversionSummary.h"
#include "DataFlashReader.h"
#include "MavlinkReader.h"
#include "TrackConvert.h"
#include "ULogReader.h"

namespace
{

const size_t TextWindow = 4096; // bytes looked at to tell text from binary
// A GPS track with more than this between two points is left out there: a logger that
// records by distance or course change (a walker's "auto" mode) leaves a few minutes between
// points while moving steadily; longer, in the real tracks it was switched off between two
// tracks (and carried kilometres in a car) or stood still. A straight line across such a
// gap would be made up.
const double TrackMaximumGap = 300.0; // seconds
const size_t NamesListed = 8;   // streams named in the one-line error

const uint8_t* Bytes(const std::string& text)
{
    return reinterpret_cast<const uint8_t*>(text.data());
}

bool IsAutopilotLog(FlightFileFormat format)
{
    return format == FlightFileFormat::ULog || format == FlightFileFormat::DataFlash || format == FlightFileFormat::MavlinkTelemetry;
}

// "name (count)" of the streams that hold records, the most frequent first, up to `limit`.
std::string ListStreams(const RecordedFlight& flight, size_t limit)
{
    std::vector<const RecordedStream*> held;
    for (const RecordedStream& stream : flight.streams)
        if (stream.count > 0)
            held.push_back(&stream);
    if (held.empty())
        return "no records";
    std::stable_sort(held.begin(), held.end(), [](const RecordedStream* a, const RecordedStream* b) { return a->count > b->count; });
    std::string text;
    for (size_t i = 0; i < held.size() && i < limit; ++i)
        text += (i > 0 ? ", " : "") + held[i]->name + " (" + std::to_string(held[i]->count) + ")";
    if (held.size() > limit)
        text += " and " + std::to_string(held.size() - limit) + " more";
    return text;
}

std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printed(const char* format, ...)
{
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    return line;
}

// "name: 622 records, 20.0 a second, 0.434 .. 31.434 s"
std::string DescribeStream(const RecordedStream& stream)
{
    const double span = stream.lastTime - stream.firstTime;
    std::string text = Printed("%s: %zu records", stream.name.c_str(), stream.count);
    if (stream.count > 1 && span > 0.0)
        text += Printed(", %.1f a second, %.3f .. %.3f s", (stream.count - 1) / span, stream.firstTime, stream.lastTime);
    return text;
}

const RecordedStream* FindStream(const RecordedFlight& flight, const std::string& name)
{
    for (const RecordedStream& stream : flight.streams)
        if (stream.name == name)
            return &stream;
    return nullptr;
}

} // namespace

FlightFileFormat DetectFlightFormat(const std::string& bytes)
{
    if (IsULog(Bytes(bytes), bytes.size()))
        return FlightFileFormat::ULog;
    if (IsDataFlash(Bytes(bytes), bytes.size()))
        return FlightFileFormat::DataFlash;
    if (IsMavlinkTelemetry(Bytes(bytes), bytes.size()))
        return FlightFileFormat::MavlinkTelemetry;
    const std::string head = bytes.substr(0, TextWindow);
    if (head.find('\0') != std::string::npos)
        return FlightFileFormat::Unknown;
    size_t start = head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; // a UTF-8 byte-order mark
    start = head.find_first_not_of(" \t\r\n", start);
    if (start == std::string::npos)
        return FlightFileFormat::Csv; // only blanks: the CSV reader says what it misses
    if (head[start] == '<')
        return FlightFileFormat::Gpx;
    const std::string firstLine = head.substr(start, head.find_first_of("\r\n", start) - start);
    if ((firstLine[0] == 'A' || firstLine[0] == 'H' || firstLine[0] == 'B') && firstLine.find_first_of(",;\t") == std::string::npos)
        return FlightFileFormat::Igc;
    return FlightFileFormat::Csv;
}

ConversionSettings DefaultConversion(FlightFileFormat format)
{
    ConversionSettings settings;
    if (!IsAutopilotLog(format))
    {
        settings.rate = 1.0;
        settings.maximumGap = TrackMaximumGap;
    }
    return settings;
}

bool ReadFlightFile(const std::string& path, RecordedFlight* flight, FlightFileFormat* format)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        fprintf(stderr, "track: cannot open '%s': %s\n", path.c_str(), strerror(errno));
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    if (file.bad())
    {
        fprintf(stderr, "track: cannot read '%s'\n", path.c_str());
        return false;
    }
    const std::string bytes = content.str();
    if (bytes.empty())
    {
        fprintf(stderr, "track: '%s' is empty\n", path.c_str());
        return false;
    }
    *format = DetectFlightFormat(bytes);
    std::string error;
    bool read = true;
    switch (*format)
    {
    case FlightFileFormat::ULog:
        read = ReadULog(Bytes(bytes), bytes.size(), flight, &error);
        break;
    case FlightFileFormat::DataFlash:
        read = ReadDataFlash(Bytes(bytes), bytes.size(), flight, &error);
        break;
    case FlightFileFormat::MavlinkTelemetry:
        read = ReadMavlinkTelemetry(Bytes(bytes), bytes.size(), flight, &error);
        break;
    case FlightFileFormat::Gpx:
        return ReadGpxTrack(path, flight);
    case FlightFileFormat::Igc:
        return ReadIgcTrack(path, flight);
    case FlightFileFormat::Csv:
        return ReadCsvTrack(path, flight);
    case FlightFileFormat::Unknown:
        fprintf(stderr, "track: '%s' is no flight file this tool reads: binary, but no ULog, DataFlash or MAVLink telemetry log\n", path.c_str());
        return false;
    }
    if (!read)
        fprintf(stderr, "track: '%s' cannot be read as %s: %s\n", path.c_str(), flight->format.empty() ? "a flight log" : flight->format.c_str(), error.c_str());
    return read;
}

std::string DescribeFlight(const std::string& path, const RecordedFlight& flight, size_t fileBytes)
{
    std::string text = Printed("track: '%s': %s, %zu bytes; times are %s\n", path.c_str(), flight.format.c_str(), fileBytes, flight.clock.c_str());
    const RecordedStream* position = FindStream(flight, flight.positionSource);
    if (position && !flight.positions.empty())
        text += Printed("track: position from %s\n", DescribeStream(*position).c_str());
    else
        text += Printed("track: no position (it is taken from %s)\n", flight.positionWanted.c_str());
    const RecordedStream* attitude = FindStream(flight, flight.attitudeSource);
    if (attitude && !flight.attitudes.empty())
        text += Printed("track: attitude from %s\n", DescribeStream(*attitude).c_str());
    else
        text += "track: no attitude recorded: heading, pitch and roll come from the motion\n";
    std::string others;
    RecordedFlight unused;
    double first = INFINITY, last = -INFINITY;
    for (const RecordedStream& stream : flight.streams)
    {
        if (stream.used && stream.count > 0)
        {
            first = std::min(first, stream.firstTime);
            last = std::max(last, stream.lastTime);
        }
        if (stream.used && stream.name != flight.positionSource && stream.name != flight.attitudeSource)
            others += (others.empty() ? "" : "; ") + DescribeStream(stream);
        else if (!stream.used && stream.count > 0)
            unused.streams.push_back(stream);
    }
    if (!others.empty())
        text += "track: other columns from " + others + "\n";
    if (!unused.streams.empty())
        text += Printed("track: not used: %s\n", ListStreams(unused, NamesListed).c_str());
    if (first <= last)
        text += Printed("track: what is used spans %.3f .. %.3f s: %.1f s\n", first, last, last - first);
    std::string dropped;
    for (const auto& entry : flight.dropped)
        dropped += Printed(", %zu %s", entry.second, entry.first.c_str());
    text += Printed("track: skipped %zu bytes and %zu records%s\n", flight.skippedBytes, flight.skippedRecords, dropped.c_str());
    return text;
}

int ConvertTrack(const std::string& path, double rate, bool info)
{
    RecordedFlight flight;
    FlightFileFormat format = FlightFileFormat::Unknown;
    if (!ReadFlightFile(path, &flight, &format))
        return 1;
    if (info)
    {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        fputs(DescribeFlight(path, flight, static_cast<size_t>(std::max<std::streamoff>(file.tellg(), 0))).c_str(), stderr);
    }
    if (flight.positions.empty() && !flight.skippedPoints.empty())
    {
        fprintf(stderr, "track: '%s' holds no point to use: %s\n", path.c_str(), PointsReadAndSkipped(flight, PositionCounts()).c_str());
        return 1;
    }
    if (flight.positions.empty())
    {
        fprintf(stderr, "track: '%s' holds no position: no %s; it holds %s\n", path.c_str(), flight.positionWanted.c_str(), ListStreams(flight, NamesListed).c_str());
        return 1;
    }
    ConversionSettings settings = DefaultConversion(format);
    if (rate > 0.0)
        settings.rate = rate;
    const ConvertedFlight converted = ConvertFlight(flight, settings);
    if (converted.rows.empty())
    {
        const PositionCounts& counts = converted.positions;
        const std::string points = counts.used < counts.handedIn || !flight.skippedPoints.empty() ? " (" + PointsReadAndSkipped(flight, counts) + ")" : "";
        fprintf(stderr, "track: '%s' holds %s%s\n", path.c_str(), converted.error.c_str(), points.c_str());
        return 1;
    }
    if (info)
    {
        const SampleRow& first = converted.rows.front();
        const SampleRow& last = converted.rows.back();
        fprintf(stderr, "track: %zu rows at %g a second from %.3f to %.3f s, samples %d to %d; %zu left out in gaps of more than %g s\n", converted.rows.size(), settings.rate, first.gps_time, last.gps_time,
                first.samplenumber, last.samplenumber, converted.gapRows, settings.maximumGap);
    }
    if (converted.motionAttitude && IsAutopilotLog(format))
        fprintf(stderr, "track: '%s' records no attitude; heading, pitch and roll are derived from the motion\n", path.c_str());

    const std::string text = FormatConvertedLog(converted);
    if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0)
    {
        fprintf(stderr, "track: cannot write the log\n");
        return 1;
    }
    fprintf(stderr, "%s\n", ConversionSummary(path, flight, converted, settings).c_str());
    // The program drops rows within one minute of arc of the equator or the prime meridian,
    // and reads sample numbers below 100000 only.
    const std::vector<SampleRow>& samples = converted.rows;
    const size_t dropped = std::count_if(samples.begin(), samples.end(), [](const SampleRow& s) { return std::fabs(s.gps_curlat) <= 1.0 || std::fabs(s.gps_curlon) <= 1.0; });
    if (dropped > 0)
        fprintf(stderr, "track: %zu samples lie within one minute of arc of the equator or the prime meridian; the replay skips them\n", dropped);
    if (samples.back().samplenumber >= 100000)
        fprintf(stderr, "track: sample numbers reach %d; the replay reads sample numbers below 100000 only (lower --rate)\n", samples.back().samplenumber);
    return 0;
}
