#include "datatool/VideoCommands.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "batch/AtomicFile.h"
#include "batch/CommandReport.h"
#include "check/HeightAboveTerrain.h"
#include "cli/CommandLine.h"
#include "datatool/DataTool.h"
#include "datatool/FlightLogCheck.h"
#include "flight/LoadedFlight.h"
#include "flight/RangeListParser.h"
#include "log/SampleRates.h"
#include "track/FlightFormats.h"
#include "track/SrtReader.h"
#include "track/TrackReading.h"
#include "video/ClipProbe.h"
#include "video/ClipSync.h"
#include "video/Subtitles.h"
#include "video/SyncFit.h"

namespace
{

// What a command ends with on input it cannot use: its one line on stderr, and the status.
int Refuse(CommandReport& report, const char* command, const std::string& line)
{
    fprintf(stderr, "%s: %s\n", command, line.c_str());
    return report.Finish(CommandStatus::BadInput, line);
}

// UTC seconds since 1970 of the flight's first row; -1 when the log logs no date.
double FlightStartUtc(const LoadedFlight& flight)
{
    double seconds = 0.0;
    return !flight.rows.empty() && RowUtcSeconds(flight.rows.front(), &seconds) ? seconds : -1.0;
}

// The clip's telemetry subtitles beside it: STEM.SRT, else STEM.srt; "" when there are none.
std::string TelemetryBeside(const std::string& clip)
{
    const std::string sync = ClipSyncPath(clip);
    const std::string stem = sync.substr(0, sync.size() - 5);
    for (const char* extension : {".SRT", ".srt"})
    {
        std::ifstream in(stem + extension);
        if (in)
            return stem + extension;
    }
    return "";
}

std::string Printed(const char* format, double a, double b = 0.0, double c = 0.0)
{
    char text[256];
    snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string SyncJson(const ClipSync& sync, const std::string& path)
{
    nlohmann::ordered_json doc;
    doc["file"] = path;
    doc["method"] = sync.method;
    doc["offset"] = sync.offset;
    doc["rate"] = sync.rate;
    doc["drift"] = std::fabs(sync.rate - 1.0) > DriftShare;
    if (sync.rmsMetres >= 0)
        doc["rmsMetres"] = sync.rmsMetres;
    return doc.dump();
}

} // namespace

int RunSyncCommand(int argc, char** argv)
{
    std::string log, clip;
    bool json = false;
    CommandLine line("sync", DataCommandName(argv[0], "sync"),
                     "Lines a video clip up with a flight and writes the sync beside the clip (DIR/STEM.sync): by the clip's telemetry subtitles (STEM.SRT) fitted to the "
                     "flight's track, else, less surely, by the clip's creation time against the log's time of day. Exit status 0 written, 65 no fit, an ambiguous fit "
                     "or input it cannot use (nothing written).",
                     DataToolUsage);
    line.Positional("LOG", &log, "the flight: a keyword log, or a flight file of any format `track` reads");
    line.Positional("CLIP", &clip, "the video clip, with its telemetry subtitles STEM.SRT (or STEM.srt) beside it when the aircraft wrote them");
    line.Json(&json);
    const CommandLineOutcome parsed = line.Parse(argc, argv, 2);
    if (!parsed.run)
        return EndOfCommandLine("sync", parsed, argc, argv);
    CommandReport report("sync", json);

    ClipProbe probe;
    std::string error;
    if (!ProbeClip(clip, &probe, &error))
        return Refuse(report, "sync", error);
    if (!probe.hasVideo)
        return Refuse(report, "sync", "'" + clip + "' holds no video stream");
    report.Read(clip, "video clip");
    LoadedFlight flight;
    if (!LoadAnyFlight(log, &flight, &error))
        return Refuse(report, "sync", error);
    report.Read(log);

    ClipSync sync;
    sync.log = FileNameOf(log);
    sync.logStartUtc = FlightStartUtc(flight);
    sync.clipSeconds = probe.seconds;
    std::vector<SrtCue> cues;
    const std::string telemetry = TelemetryBeside(clip);
    if (!telemetry.empty())
    {
        std::ifstream in(telemetry, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        size_t skipped = 0;
        cues = ReadSrtCues(bytes.str(), &skipped);
        report.Read(telemetry, "video telemetry");
        report.Count("cues_without_position", static_cast<double>(skipped));
        if (cues.empty() && probe.hasCreationTime)
            printf("sync: '%s' holds no positions: lined up by the clip's creation time instead\n", telemetry.c_str());
    }

    if (!cues.empty())
    {
        const SyncFitResult fit = FitClipToFlight(cues, flight.Rows());
        report.Count("cues", static_cast<double>(fit.cues));
        if (std::isfinite(fit.rmsMetres))
            report.Count("rms_metres", fit.rmsMetres);
        report.Count("overlap_seconds", fit.overlapSeconds);
        if (fit.verdict == SyncFitVerdict::NoFit)
            return Refuse(report, "sync", "no fit: " + fit.why + "; nothing written");
        if (fit.verdict == SyncFitVerdict::Ambiguous)
            return Refuse(report, "sync", "ambiguous: " + fit.why + "; nothing written");
        sync.method = "telemetry";
        sync.offset = fit.offset;
        sync.rate = fit.rate;
        sync.rmsMetres = fit.rmsMetres;
        printf("sync: '%s' lined up with '%s' by its telemetry (%zu cues)\n", clip.c_str(), log.c_str(), fit.cues);
        // A clip that counts its heights from the take-off point stands the ground's height off the log.
        const bool seaLevel = cues.front().seaLevel;
        printf("  RMS %.2f m between the tracks over %.1f s of the clip (%.0f %% of its cues); the clip's heights %+.1f m from the flight's%s\n", fit.rmsMetres,
               fit.overlapSeconds, 100.0 * fit.overlapShare, fit.heightBias, seaLevel ? "" : " (it counts them from its take-off point)");
    }
    else
    {
        if (!probe.hasCreationTime && !telemetry.empty())
            return Refuse(report, "sync", "'" + telemetry + "' holds no positions and '" + clip + "' no creation time in its metadata: nothing to line it up by");
        if (!probe.hasCreationTime)
        {
            const std::string stem = FileNameOf(ClipSyncPath(clip));
            return Refuse(report, "sync", "'" + clip + "' has no telemetry beside it (" + stem.substr(0, stem.size() - 5) +
                                              ".SRT) and no creation time in its metadata: nothing to line it up by");
        }
        if (sync.logStartUtc < 0)
            return Refuse(report, "sync", "'" + log + "' logs no date (gps_date): the clip's creation time cannot be set against it");
        sync.method = "creation time";
        sync.offset = probe.creationUtc - sync.logStartUtc;
        sync.rate = 1.0;
        const double span = flight.rows.back().gps_time - flight.rows.front().gps_time;
        if (sync.offset + std::max(probe.seconds, 0.0) < 0.0 || sync.offset > span)
        {
            const std::string when = sync.offset < 0 ? Printed("%.0f s before the flight's first row", -sync.offset) : Printed("%.0f s after its last", sync.offset - span);
            return Refuse(report, "sync", "no fit: the clip was made at " + probe.creationTime + ", " + when + ": no flight in common; nothing written");
        }
        printf("sync: '%s' lined up with '%s' by its creation time (%s), which is weaker than telemetry: a camera's clock may be set to local time or stamp the clip's end\n",
               clip.c_str(), log.c_str(), probe.creationTime.c_str());
    }

    if (std::fabs(sync.offset) < 0.0005)
        printf("  offset %.3f s: the clip starts with the flight's first row\n", 0.0);
    else
        printf("  offset %.3f s: the clip starts %.3f s %s the flight's first row\n", sync.offset, std::fabs(sync.offset), sync.offset < 0 ? "before" : "after");
    const double drift = (sync.rate - 1.0) * 100.0;
    if (std::fabs(sync.rate - 1.0) > DriftShare)
    {
        printf("  rate %.6f: the clip's clock drifts, %.3f %% %s than the log's\n", sync.rate, std::fabs(drift), drift > 0 ? "faster" : "slower");
        report.Warning("drift", Printed("the clip's clock runs %.3f %% off the log's", drift));
    }
    else
        printf("  rate %.6f (%+.3f %%, within the %.1f %% a clip's clock keeps)\n", sync.rate, drift, DriftShare * 100.0);
    const std::string path = ClipSyncPath(clip);
    errno = 0;
    if (!WriteClipSync(path, sync, &error))
    {
        fprintf(stderr, "sync: %s\n", error.c_str());
        return report.Finish(WriteFailureStatus(errno), error);
    }
    printf("  written to %s\n", path.c_str());
    report.Written(path);
    report.Count("offset", sync.offset);
    report.Count("rate", sync.rate);
    report.Section("sync", SyncJson(sync, path));
    return report.Finish(CommandStatus::Done);
}

namespace
{

// The figures of one row, as the lines of its cue.
class FigureLines
{
public:
    explicit FigureLines(const LoadedFlight& flight) : flight(flight), rows(flight.Rows()), ground(PagedGround()) {}

    std::vector<std::string> At(int32_t row) const
    {
        const SampleRow& sample = rows[row];
        std::string first;
        double utc = 0.0;
        if (RowUtcSeconds(sample, &utc))
        {
            const long long second = static_cast<long long>(std::floor(std::fmod(utc, SecondsPerDay)));
            first = Printed("%02.0f:%02.0f", static_cast<double>(second / 3600), static_cast<double>(second / 60 % 60)) + Printed(":%02.0f UTC", static_cast<double>(second % 60));
        }
        else
            first = "flight " + Clock(sample.gps_time - rows[0].gps_time);
        first += Printed("   alt %.1f m", sample.gps_curalt);
        const TerrainClearance clearance = HeightAboveTerrain(ground, sample);
        if (clearance.covered)
            first += Printed("   above ground %.1f m", clearance.height);
        std::string second;
        const SampleRates rates = RatesAtRow(rows, row);
        if (rates.known)
            second = Printed("GS %.1f m/s   climb %+.1f m/s", rates.groundSpeed, rates.climbRate);
        const std::string mode = ModeAt(sample.gps_time);
        if (!mode.empty())
            second += (second.empty() ? "" : "   ") + std::string("mode ") + mode;
        return {first, second, NearestEvent(sample.gps_time)};
    }

private:
    static std::string Clock(double seconds)
    {
        const long long whole = static_cast<long long>(std::max(0.0, std::floor(seconds)));
        return Printed("%.0f:%02.0f", static_cast<double>(whole / 3600), static_cast<double>(whole / 60 % 60)) + Printed(":%02.0f", static_cast<double>(whole % 60));
    }

    // The last mode the autopilot entered at or before `time` (gps_time's clock, as the events').
    std::string ModeAt(double time) const
    {
        std::string mode;
        for (const FlightEvent& event : flight.events)
            if (event.kind == FlightEventKind::Mode && event.time <= time)
                mode = event.text;
        return mode;
    }

    // The event nearest `time` other than a change of mode, within NearEvent seconds of it.
    std::string NearestEvent(double time) const
    {
        const FlightEvent* nearest = nullptr;
        for (const FlightEvent& event : flight.events)
            if (event.kind != FlightEventKind::Mode && std::fabs(event.time - time) <= NearEvent && (!nearest || std::fabs(event.time - time) < std::fabs(nearest->time - time)))
                nearest = &event;
        if (!nearest)
            return "";
        const double after = time - nearest->time;
        std::string text = FlightEventKindName(nearest->kind);
        if (!nearest->text.empty())
            text += ": " + nearest->text;
        return text + (std::fabs(after) < 0.5 ? " (now)" : after > 0 ? Printed(" (%.0f s ago)", after) : Printed(" (in %.0f s)", -after));
    }

    static constexpr double NearEvent = 10.0; // seconds
    const LoadedFlight& flight;
    FlightRows rows;
    DrawnGround ground;
};

// The longest a cue stays up when the next row is far away: figures do not stand for a gap.
const double LongestCue = 10.0; // seconds

// A cue at the first row of each second of the flight (flight seconds), or at every row where
// they are sparser.
std::vector<SubtitleCue> FlightCues(const LoadedFlight& flight)
{
    const FlightRows rows = flight.Rows();
    const FigureLines figures(flight);
    std::vector<SubtitleCue> cues;
    double next = 0.0;
    for (int32_t row = 0; row < rows.count; ++row)
    {
        const double t = rows[row].gps_time - rows[0].gps_time;
        if (!std::isfinite(t) || t < next)
            continue;
        if (!cues.empty())
            cues.back().end = std::min(t, cues.back().start + LongestCue);
        cues.push_back(SubtitleCue{t, t + 1.0, figures.At(row)});
        next = std::floor(t) + 1.0;
    }
    return cues;
}

} // namespace

int RunSubtitlesCommand(int argc, char** argv)
{
    std::string log, out, clip;
    bool json = false;
    SubtitleFormat format = SubtitleFormat::SubRip;
    CommandLine line("subtitles", DataCommandName(argv[0], "subtitles"),
                     "Writes the flight's figures as subtitles, a cue a second: time of day, altitude, height above the drawn ground, ground speed, climb, mode and the "
                     "nearest event; with --for on a clip's clock through the sync beside it. Exit status 0 written, 65 input it cannot use (nothing written).",
                     DataToolUsage);
    line.Positional("LOG", &log, "the flight: a keyword log, or a flight file of any format `track` reads");
    line.Checked(
        "--out", "FILE.srt|FILE.ass", "a file name ending in .srt (SubRip) or .ass (Advanced SubStation Alpha)",
        [&out, &format](const std::string& text, std::string*) {
            out = text;
            return SubtitleFormatOf(text, &format);
        },
        "the subtitles, SubRip or Advanced SubStation Alpha by the extension");
    line.Text("--for", "CLIP", &clip, "on this clip's clock, through the sync beside it (`sync`), and only within the clip");
    line.Json(&json);
    const CommandLineOutcome parsed = line.Parse(argc, argv, 2);
    if (!parsed.run)
        return EndOfCommandLine("subtitles", parsed, argc, argv);
    if (out.empty())
        return EndOfCommandLine("subtitles", line.Refuse(NothingGiven("--out FILE")), argc, argv);
    CommandReport report("subtitles", json);

    LoadedFlight flight;
    std::string error;
    if (!LoadAnyFlight(log, &flight, &error))
        return Refuse(report, "subtitles", error);
    report.Read(log);
    std::vector<SubtitleCue> cues = FlightCues(flight);
    int width = 0, height = 0;
    if (!clip.empty())
    {
        const std::string syncPath = ClipSyncPath(clip);
        ClipSync fitted, sync;
        if (!ReadClipSync(syncPath, &fitted, &error))
            return Refuse(report, "subtitles", error.empty() ? "no sync beside '" + clip + "' (" + syncPath + "): run `flightreplay-data sync LOG CLIP` first; nothing written" : error);
        std::string why;
        if (!SyncForFlight(fitted, log, FlightStartUtc(flight), &sync, &why))
            return Refuse(report, "subtitles", "the sync beside '" + clip + "' does not fit '" + log + "': " + why + "; nothing written");
        report.Read(syncPath);
        ClipProbe probe;
        double length = sync.clipSeconds;
        if (ProbeClip(clip, &probe, &error) && probe.hasVideo)
        {
            length = probe.seconds > 0 ? probe.seconds : length;
            width = probe.width;
            height = probe.height;
        }
        if (!(length > 0))
            return Refuse(report, "subtitles", "the length of '" + clip + "' is known neither from the clip nor its sync; nothing written");
        std::vector<SubtitleCue> onClip;
        for (SubtitleCue cue : cues)
        {
            cue.start = std::max(0.0, sync.ClipSecondsAt(cue.start));
            cue.end = std::min(length, sync.ClipSecondsAt(cue.end));
            if (cue.end > cue.start)
                onClip.push_back(cue);
        }
        cues.swap(onClip);
        if (cues.empty())
            return Refuse(report, "subtitles", "no second of '" + log + "' falls within '" + clip + "' by its sync; nothing written");
    }
    const std::string text = format == SubtitleFormat::Ass ? AssText(cues, FileNameOf(log), width, height) : SubRipText(cues);
    errno = 0;
    if (!WriteFileAtomically(out, text.data(), text.size()))
    {
        fprintf(stderr, "subtitles: cannot write '%s'\n", out.c_str());
        return report.Finish(WriteFailureStatus(errno), "cannot write '" + out + "'");
    }
    printf("subtitles: %zu cues written to %s%s\n", cues.size(), out.c_str(), clip.empty() ? " (on the flight's clock)" : (" (on the clock of '" + clip + "')").c_str());
    report.Written(out);
    report.Count("cues", static_cast<double>(cues.size()));
    return report.Finish(CommandStatus::Done);
}

bool LoadAnyFlight(const std::string& path, LoadedFlight* flight, std::string* why)
{
    const LogFileKind kind = ClassifyLogFile(path);
    if (kind == LogFileKind::Unopenable)
    {
        *why = "cannot open the flight '" + path + "'";
        return false;
    }
    // Anything else would be echoed by the log's scanner byte by byte.
    if (kind != LogFileKind::FlightLog && !DetectFlightFileFormat(path))
    {
        *why = "'" + path + "' is no flight: give a keyword log or a flight file `track` reads";
        return false;
    }
    SelectEverySample();
    if (LoadFlight(path.c_str(), nullptr, FlightFiles::Convert, LoadReport::Quiet, flight) != 0 || flight->rows.empty())
    {
        *why = "no row of '" + path + "' holds a position";
        return false;
    }
    return true;
}

