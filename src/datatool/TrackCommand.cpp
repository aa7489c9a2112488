#include "datatool/TrackCommand.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "batch/CommandReport.h"
#include "cli/CommandLine.h"
#include "datatool/DataTool.h"
#include "batch/AtomicFile.h"
#include "plan/PlanFiles.h"
#include "track/CameraTriggers.h"
#include "track/ConversionSummary.h"
#include "track/FlightFileConversion.h"
#include "track/FlightFormats.h"
#include "track/FlightSidecars.h"
#include "track/FlightTraffic.h"
#include "track/FlightWind.h"
#include "track/MissionVersions.h"
#include "track/VehicleKind.h"

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


// The plan files beside the log (none when `planLog` is ""): a GPS track records no plan,
// and a plan file beside its log is the pilot's own, left alone.
static bool WritePlanBeside(const std::string& planLog, const FlightFileConversion& conversion, CommandReport& report, std::string* error)
{
    if (planLog.empty() || !conversion.format || !conversion.format->autopilotLog)
        return true;
    const FlightPlan& plan = conversion.converted.plan;
    const double takeoff = FirstArmingTime(conversion.converted.events);
    std::vector<std::string> written;
    if (!WritePlanFilesBeside(planLog, plan, takeoff, &written, error))
        return false;
    if (written.empty())
        return true;
    std::string names;
    for (const std::string& file : written)
    {
        report.Written(file);
        names += (names.empty() ? "" : ", ") + file;
    }
    const std::vector<size_t> order = PlanFileOrder(plan, takeoff);
    const std::string summary = PlanSummary(plan, order.empty() ? -1 : static_cast<int>(order.front()));
    fprintf(stderr, "track: %s, written to %s\n", summary.c_str(), names.c_str());
    return true;
}

namespace
{
// What the files beside the log hold, in the summary and --json: what flew, and how many wind
// estimates from what.
void ReportSidecars(const FlightFileConversion& conversion, CommandReport& report)
{
    const VehicleIdentity& vehicle = conversion.flight.vehicle;
    // A source's words come from the file: bytes that are no UTF-8 are replaced, not thrown on.
    report.Section("vehicle", nlohmann::json{{"kind", VehicleKindWord(vehicle.kind)}, {"source", vehicle.source}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    const std::vector<TimedWind>& wind = conversion.converted.wind;
    report.Count("wind_estimates", static_cast<double>(wind.size()));
    report.Count("photos", static_cast<double>(conversion.converted.photos.size()));
    report.Count("traffic_reports", static_cast<double>(conversion.converted.traffic.size()));
    report.Count("traffic_aircraft", static_cast<double>(TrafficAircraft(conversion.converted.traffic)));
    std::map<std::string, size_t> sources;
    for (const TimedWind& w : wind)
        ++sources[w.source];
    for (const auto& source : sources)
    {
        std::string key = "wind_" + source.first;
        for (char& c : key)
            c = std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : '_';
        report.Count(key, static_cast<double>(source.second));
    }
}

} // namespace

int ConvertTrack(const std::string& path, double rate, bool info, const std::string& eventsPath, const std::string& output, CommandReport& report, const std::string& planLog, VehicleKind vehicle)
{
    FlightFileConversion conversion;
    std::string message;
    const bool converted = ConvertFlightFile(path, rate, &conversion, &message);
    report.Read(path, conversion.format ? conversion.format->name : "");
    if (vehicle != VehicleKind::Unknown)
        conversion.flight.vehicle = {vehicle, "--vehicle " + std::string(VehicleKindWord(vehicle))};
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
    // The files beside a log that is a file; one left from another flight goes.
    const std::string log = !output.empty() ? output : StdoutFilePath();
    ReportSidecars(conversion, report);
    std::vector<std::string> besides;
    std::string sidecarError;
    if (!log.empty() && !WriteSidecarsBeside(log, conversion, &besides, &sidecarError))
    {
        const int error = errno;
        fprintf(stderr, "track: %s\n", sidecarError.c_str());
        return report.Finish(WriteFailureStatus(error), sidecarError);
    }
    for (const std::string& path : besides)
        report.Written(path);
    if (info && !conversion.converted.gimbal.empty() && !log.empty())
        fprintf(stderr, "track: %zu camera attitudes written to %s\n", conversion.converted.gimbal.size(), CameraPathFor(log).c_str());
    if (info && conversion.flight.vehicle.kind != VehicleKind::Unknown)
        fprintf(stderr, "track: the vehicle is a %s (%s)\n", VehicleKindWord(conversion.flight.vehicle.kind), conversion.flight.vehicle.source.c_str());
    if (!conversion.converted.wind.empty() && !log.empty())
        fprintf(stderr, "track: %s written to %s\n", WindSummary(conversion.converted.wind).c_str(), WindPathFor(log).c_str());
    if (!conversion.converted.traffic.empty() && !log.empty())
        fprintf(stderr, "track: %s written to %s\n", TrafficSummary(conversion.converted.traffic).c_str(), TrafficPathFor(log).c_str());
    if (!conversion.converted.photos.empty() && !log.empty())
        fprintf(stderr, "track: %s written to %s\n", PhotoSummary(conversion.converted.photos).c_str(), PhotosPathFor(log).c_str());
    std::string planError;
    if (!WritePlanBeside(planLog, conversion, report, &planError))
    {
        const int error = errno;
        fprintf(stderr, "track: %s\n", planError.c_str());
        return report.Finish(WriteFailureStatus(error), planError);
    }
    return report.Finish(CommandStatus::Done);
}

std::vector<std::string> ConversionOutputs(const std::string& flight, const std::string& log, const std::string& eventsPath, const std::string& planLog)
{
    std::vector<std::string> outputs = {log};
    struct stat status;
    // The plan files a conversion of an autopilot's log wrote: whether the flight holds a
    // plan is known only by reading it, so those there stand for it.
    const FlightFormat* format = planLog.empty() ? nullptr : DetectFlightFileFormat(flight);
    for (size_t version = 1; format && format->autopilotLog; ++version)
    {
        const std::string plan = PlanPathFor(planLog, version);
        if (stat(plan.c_str(), &status) != 0)
            break;
        outputs.push_back(plan);
    }
    // The files beside the log, where a conversion wrote them: whether the flight records the
    // camera, the wind or what flew is known only by reading it too.
    for (const std::string& sidecar : log.empty() ? std::vector<std::string>() : SidecarPathsFor(log))
        if (stat(sidecar.c_str(), &status) == 0)
            outputs.push_back(sidecar);
    if (eventsPath.empty())
        return outputs;
    bool expected = stat(eventsPath.c_str(), &status) == 0;
    if (!expected)
    {
        if (!format)
            format = DetectFlightFileFormat(flight);
        expected = format && format->autopilotLog;
    }
    if (expected)
        outputs.push_back(eventsPath);
    return outputs;
}

int RunTrackCommand(int argc, char** argv)
{
    std::string input;
    double rate = 0.0; // the format's own
    bool info = false;
    std::string events;
    bool noEvents = false;
    std::string output;
    bool json = false;
    bool skipExisting = false;
    bool noPlan = false;
    std::string vehicleWord;
    CommandLine line("track", DataCommandName(argv[0], "track"), "Converts a flight file (ULog, DataFlash, telemetry log, GPX, IGC, CSV, a drone's video subtitles) into the replay's keyword log.", DataToolUsage);
    line.Positional("INPUT", &input, "the flight file; its format is told by its content");
    line.Text("--out", "FILE", &output, "write the log to FILE (whole or not at all), not to stdout");
    line.Number("--rate", "HZ", 0.0, 1000.0, &rate, "rows a second (default the format's own)", true);
    line.Flag("--info", &info, "describe the file and the conversion on stderr");
    line.Text("--events", "FILE", &events, "write the flight's events to FILE (default beside the log when it is a file: LOG.events.csv)");
    line.Flag("--no-events", &noEvents, "write no events file");
    line.Flag("--no-plan", &noPlan, "write no plan files (an autopilot's log: its mission, fence and rally points beside the log when it is a file: LOG.plan, LOG.v2.plan, ...)");
    line.Text("--vehicle", "KIND", &vehicleWord, "what flew, over what the file says: " + VehicleKindWords());
    line.Json(&json)->description("the summary as one JSON object on stdout, the lines for people on stderr; needs --out");
    line.SkipExisting(&skipExisting, "the log (and the events and plan files of an autopilot's log) is newer than the flight; needs --out");
    CommandLineOutcome parsed = line.Parse(argc, argv, 2);
    if (parsed.run && !events.empty() && noEvents)
        parsed = line.Refuse("--events and --no-events cannot be given together");
    VehicleKind vehicle = VehicleKind::Unknown;
    if (parsed.run && !vehicleWord.empty() && !VehicleKindOfWord(vehicleWord, &vehicle))
        parsed = line.Refuse("--vehicle: unknown kind '" + vehicleWord + "'; one of " + VehicleKindWords());
    // Standard output carries the object: the log needs a file of its own, and so does the
    // judgement whether it is up to date.
    if (parsed.run && (json || skipExisting) && output.empty())
        parsed = line.Refuse("--json and --skip-existing need the log's file: --out FILE");
    if (!parsed.run)
        return EndOfCommandLine("track", parsed, argc, argv);
    CommandReport report("track", json);
    std::string eventsPath;
    if (!events.empty())
        eventsPath = events;
    else if (!noEvents)
    {
        const std::string log = !output.empty() ? output : StdoutFilePath();
        eventsPath = log.empty() ? "" : EventsPathFor(log);
    }
    std::string planLog;
    if (!noPlan)
        planLog = !output.empty() ? output : StdoutFilePath();
    const std::vector<std::string> outputs = skipExisting ? ConversionOutputs(input, output, eventsPath, planLog) : std::vector<std::string>();
    if (skipExisting && OutputsUpToDate({input}, outputs))
    {
        report.Read(input);
        for (const std::string& written : outputs)
            report.Written(written);
        report.Skipped();
        fprintf(stderr, "track: '%s' is newer than '%s': skipped\n", output.c_str(), input.c_str());
        return report.Finish(CommandStatus::Done);
    }
    return ConvertTrack(input, rate, info, eventsPath, output, report, planLog, vehicle);
}
