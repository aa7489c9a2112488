#include "datatool/TrackCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>

#include "datatool/DataTool.h"
#include "track/ConversionSummary.h"
#include "track/FlightConversion.h"
#include "track/FlightFormats.h"

int ConvertFlightFile(const char* command, const std::string& path, double rate, bool info, const std::function<bool(const std::string&)>& write)
{
    RecordedFlight flight;
    const FlightFormat* format = nullptr;
    std::string message;
    if (!ReadFlightFile(path, &flight, &format, &message))
    {
        fprintf(stderr, "%s: %s\n", command, message.c_str());
        return 1;
    }
    if (info)
    {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        fputs(DescribeFlight(path, flight, static_cast<size_t>(std::max<std::streamoff>(file.tellg(), 0))).c_str(), stderr);
    }
    if (flight.positions.empty() && !flight.skippedPoints.empty())
    {
        fprintf(stderr, "%s: '%s' holds no point to use: %s\n", command, path.c_str(), PointsReadAndSkipped(flight, PositionCounts()).c_str());
        return 1;
    }
    if (flight.positions.empty())
    {
        fprintf(stderr, "%s: '%s' holds no position: no %s; it holds %s\n", command, path.c_str(), flight.positionWanted.c_str(), ListStreams(flight).c_str());
        return 1;
    }
    ConversionSettings settings = format->defaults;
    if (rate > 0.0)
        settings.rate = rate;
    const ConvertedFlight converted = ConvertFlight(flight, settings);
    if (converted.rows.empty())
    {
        const PositionCounts& counts = converted.positions;
        const std::string points = counts.used < counts.handedIn || !flight.skippedPoints.empty() ? " (" + PointsReadAndSkipped(flight, counts) + ")" : "";
        fprintf(stderr, "%s: '%s' holds %s%s\n", command, path.c_str(), converted.error.c_str(), points.c_str());
        return 1;
    }
    if (info)
    {
        const SampleRow& first = converted.rows.front();
        const SampleRow& last = converted.rows.back();
        fprintf(stderr, "%s: %zu rows at %g a second from %.3f to %.3f s, samples %d to %d; %zu left out in gaps of more than %g s\n", command, converted.rows.size(), settings.rate, first.gps_time, last.gps_time,
                first.samplenumber, last.samplenumber, converted.gapRows, settings.maximumGap);
    }
    if (converted.motionAttitude && format->autopilotLog)
        fprintf(stderr, "%s: '%s' records no attitude; heading, pitch and roll are derived from the motion\n", command, path.c_str());

    if (!write(FormatConvertedLog(converted)))
    {
        fprintf(stderr, "%s: cannot write the log\n", command);
        return 1;
    }
    fprintf(stderr, "%s\n", ConversionSummary(path, flight, converted, settings).c_str());
    // The program drops rows within one minute of arc of the equator or the prime meridian,
    // and holds 100000 rows: without --samples it selects sample numbers 1 to 99999.
    const std::vector<SampleRow>& samples = converted.rows;
    const size_t dropped = std::count_if(samples.begin(), samples.end(), [](const SampleRow& s) { return std::fabs(s.gps_curlat) <= 1.0 || std::fabs(s.gps_curlon) <= 1.0; });
    if (dropped > 0)
        fprintf(stderr, "%s: %zu samples lie within one minute of arc of the equator or the prime meridian; the replay skips them\n", command, dropped);
    if (samples.back().samplenumber >= 100000)
        fprintf(stderr, "%s: sample numbers reach %d; the replay holds 100000 rows and reads sample numbers 1 to 99999 unless --samples selects others: replay the rest a range at a time (--samples 99999-199999, and so on), or lower --rate\n", command, samples.back().samplenumber);
    return 0;
}

int ConvertTrack(const std::string& path, double rate, bool info)
{
    return ConvertFlightFile("track", path, rate, info, [](const std::string& text) { return fwrite(text.data(), 1, text.size(), stdout) == text.size() && fflush(stdout) == 0; });
}

int RunTrackCommand(int argc, char** argv)
{
    const char* input = nullptr;
    double rate = 0.0; // the format's own
    bool info = false;
    for (int i = 2; i < argc; ++i)
    {
        if (strcmp(argv[i], "--info") == 0)
            info = true;
        else if (strcmp(argv[i], "--rate") == 0 && i + 1 < argc)
        {
            char* end = nullptr;
            rate = strtod(argv[++i], &end);
            if (*end != '\0' || !(rate > 0.0) || rate > 1000.0)
            {
                fprintf(stderr, "track: '%s' is no rate in samples per second\n", argv[i]);
                return DataToolUsage;
            }
        }
        else if (!input && strncmp(argv[i], "--", 2) != 0)
            input = argv[i];
        else
        {
            PrintDataToolUsage(argv[0], stderr);
            return DataToolUsage;
        }
    }
    if (!input)
    {
        PrintDataToolUsage(argv[0], stderr);
        return DataToolUsage;
    }
    return ConvertTrack(input, rate, info);
}
