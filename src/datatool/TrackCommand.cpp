#include "datatool/TrackCommand.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "batch/CommandReport.h"
#include "datatool/DataTool.h"
#include "batch/AtomicFile.h"
#include "track/ConversionSummary.h"
#include "track/FlightFileConversion.h"
#include "track/FlightFormats.h"

// The file stdout is, when it is a regular file: where the log goes, so its events go beside it.
static std::string StdoutFilePath()
{
    struct stat status;
    if (fstat(STDOUT_FILENO, &status) != 0 || !S_ISREG(status.st_mode))
        return "";
    char target[4096];
    const ssize_t length = readlink("/proc/self/fd/1", target, sizeof target - 1);
    if (length <= 0 || target[0] != '/')
        return "";
    return std::string(target, static_cast<size_t>(length));
}

bool WriteEventsBeside(const char* program, const std::string& eventsPath, const std::vector<FlightEvent>& events, bool info)
{
    if (eventsPath.empty())
        return true;
    if (events.empty())
    {
        // An events file left from another flight must not pass for this one's.
        unlink(eventsPath.c_str());
        return true;
    }
    std::string error;
    if (!WriteFlightEvents(eventsPath, events, &error))
    {
        fprintf(stderr, "%s: %s\n", program, error.c_str());
        return false;
    }
    if (info)
        fprintf(stderr, "%s: %zu events written to %s\n", program, events.size(), eventsPath.c_str());
    return true;
}

int ConvertTrack(const std::string& path, double rate, bool info, const std::string& eventsPath, const std::string& output, CommandReport& report)
{
    FlightFileConversion conversion;
    std::string message;
    const bool converted = ConvertFlightFile(path, rate, &conversion, &message);
    report.Read(path, conversion.format ? conversion.format->name : "");
    if (info && conversion.read)
    {
        std::ifstream file(path, std::ios::binary | std::ios::ate);
        fputs(DescribeFlight(path, conversion.flight, static_cast<size_t>(std::max<std::streamoff>(file.tellg(), 0))).c_str(), stderr);
    }
    if (!converted)
    {
        fprintf(stderr, "track: %s\n", message.c_str());
        return report.Finish(CommandStatus::BadInput, message);
    }
    const std::vector<SampleRow>& rows = conversion.converted.rows;
    if (info)
        fprintf(stderr, "track: %zu rows at %g a second from %.3f to %.3f s, samples %d to %d; %zu left out in gaps of more than %g s\n", rows.size(), conversion.settings.rate, rows.front().gps_time,
                rows.back().gps_time, rows.front().samplenumber, rows.back().samplenumber, conversion.converted.gapRows, conversion.settings.maximumGap);
    const std::string attitudeNote = DerivedAttitudeNote(path, conversion);
    fputs(attitudeNote.c_str(), stderr);

    const std::string text = FormatConvertedLog(conversion.converted);
    const bool written = output.empty() ? fwrite(text.data(), 1, text.size(), stdout) == text.size() && fflush(stdout) == 0
                                        : WriteFileAtomically(output, text.data(), text.size());
    if (!written)
    {
        const int error = errno;
        const std::string why = "cannot write the log" + (output.empty() ? std::string() : " to '" + output + "'") + ": " + strerror(error);
        fprintf(stderr, "track: %s\n", why.c_str());
        return report.Finish(WriteFailureStatus(error), why);
    }
    if (!output.empty())
        report.Written(output);
    const std::string notes = ConversionNotes(path, conversion);
    fputs(notes.c_str(), stderr);
    report.Count("rows", static_cast<double>(rows.size()));
    report.Count("gaps", static_cast<double>(conversion.converted.gaps));
    report.Count("rows_in_gaps", static_cast<double>(conversion.converted.gapRows));
    report.Count("events", static_cast<double>(conversion.converted.events.size()));
    if (!attitudeNote.empty())
        report.Warning("derived-attitude", attitudeNote.substr(0, attitudeNote.find_last_not_of('\n') + 1));
    if (!WriteEventsBeside("track", eventsPath, conversion.converted.events, info))
        return report.Finish(WriteFailureStatus(errno), "cannot write the events to '" + eventsPath + "'");
    if (!eventsPath.empty() && !conversion.converted.events.empty())
        report.Written(eventsPath);
    return report.Finish(CommandStatus::Done);
}

std::vector<std::string> ConversionOutputs(const std::string& flight, const std::string& log, const std::string& eventsPath)
{
    std::vector<std::string> outputs = {log};
    if (eventsPath.empty())
        return outputs;
    struct stat status;
    bool expected = stat(eventsPath.c_str(), &status) == 0;
    if (!expected)
    {
        const FlightFormat* format = DetectFlightFileFormat(flight);
        expected = format && format->autopilotLog;
    }
    if (expected)
        outputs.push_back(eventsPath);
    return outputs;
}

int RunTrackCommand(int argc, char** argv)
{
    const char* input = nullptr;
    double rate = 0.0; // the format's own
    bool info = false;
    const char* events = nullptr;
    bool noEvents = false;
    const char* output = nullptr;
    const bool json = AsksForJson(argc, argv);
    bool skipExisting = false;
    for (int i = 2; i < argc; ++i)
    {
        if (strcmp(argv[i], "--info") == 0)
            info = true;
        else if (strcmp(argv[i], "--json") == 0)
            continue;
        else if (strcmp(argv[i], "--skip-existing") == 0)
            skipExisting = true;
        else if (strcmp(argv[i], "--out") == 0 && i + 1 < argc && !output)
            output = argv[++i];
        else if (strcmp(argv[i], "--events") == 0 && i + 1 < argc && !noEvents && !events)
            events = argv[++i];
        else if (strcmp(argv[i], "--no-events") == 0 && !events)
            noEvents = true;
        else if (strcmp(argv[i], "--rate") == 0 && i + 1 < argc)
        {
            char* end = nullptr;
            rate = strtod(argv[++i], &end);
            if (*end != '\0' || !(rate > 0.0) || rate > 1000.0)
            {
                fprintf(stderr, "track: '%s' is no rate in samples per second\n", argv[i]);
                return UsageFailure("track", json, std::string("'") + argv[i] + "' is no rate in samples per second");
            }
        }
        else if (!input && strncmp(argv[i], "--", 2) != 0)
            input = argv[i];
        else
        {
            PrintDataToolUsage(argv[0], stderr);
            return UsageFailure("track", json, std::string("'") + argv[i] + "' is not understood");
        }
    }
    if (!input)
    {
        PrintDataToolUsage(argv[0], stderr);
        return UsageFailure("track", json, "no flight file named");
    }
    // Standard output carries the object: the log needs a file of its own, and so does the
    // judgement whether it is up to date.
    if ((json || skipExisting) && !output)
    {
        fprintf(stderr, "track: --json and --skip-existing need the log's file: --out FILE\n");
        return UsageFailure("track", json, "--json and --skip-existing need --out FILE");
    }
    CommandReport report("track", json);
    std::string eventsPath;
    if (events)
        eventsPath = events;
    else if (!noEvents)
    {
        const std::string log = output ? std::string(output) : StdoutFilePath();
        eventsPath = log.empty() ? "" : EventsPathFor(log);
    }
    const std::vector<std::string> outputs = skipExisting ? ConversionOutputs(input, output, eventsPath) : std::vector<std::string>();
    if (skipExisting && OutputsUpToDate({input}, outputs))
    {
        report.Read(input);
        for (const std::string& written : outputs)
            report.Written(written);
        report.Skipped();
        fprintf(stderr, "track: '%s' is newer than '%s': skipped\n", output, input);
        return report.Finish(CommandStatus::Done);
    }
    return ConvertTrack(input, rate, info, eventsPath, output ? output : "", report);
}
