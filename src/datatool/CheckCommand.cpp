#include "datatool/CheckCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "batch/CommandReport.h"
#include "flight/LoadedFlight.h"
#include "flight/RangeListParser.h"
#include "check/FlightCheck.h"
#include "check/PlanCheck.h"
#include "plan/PlanFiles.h"
#include "cli/CommandLine.h"
#include "datatool/CheckCsv.h"
#include "datatool/CheckPhotos.h"
#include "datatool/CheckPlot.h"
#include "datatool/CheckReport.h"
#include "datatool/CheckTraffic.h"
#include "datatool/DataTool.h"
#include "datatool/FlightLogCheck.h"

namespace
{

struct CheckArguments
{
    const char* log = nullptr;
    const char* samples = nullptr;
    const char* csv = nullptr;
    const char* plot = nullptr;
    const char* plan = nullptr;
    const char* airspace = nullptr;
    bool json = false;
    bool skipExisting = false;
    FlightCheckLimits limits;
    const CameraModel* camera = nullptr;
    double minimumOverlap = 60.0; // percent
};

// The texts the arguments point into.
struct CheckArgumentTexts
{
    std::string log, samples, csv, plot, plan, airspace, camera;
};

CommandLineOutcome ParseArguments(int argc, char** argv, CheckArguments* arguments, CheckArgumentTexts* texts)
{
    CommandLine line("check", DataCommandName(argv[0], "check"),
                     "Checks a flight log for its faults (time, position, speed, height above the drawn ground) and prints the report, with a plan what it says of the flight too; exit status 0 clean, 1 warnings, 65 unusable.", DataToolUsage);
    line.Positional("LOG", &texts->log, "the keyword log, read as the replay reads it");
    line.Text("--samples", "LIST", &texts->samples, "the sample numbers to check, BEGIN-END,BEGIN-END,... as the replay selects them");
    line.Number("--max-speed", "M/S", 0.0, 1e6, &arguments->limits.maximumSpeed, "the highest believable ground speed (default " + std::to_string(static_cast<int>(FlightCheckLimits().maximumSpeed)) + " m/s)", true);
    line.Text("--csv", "FILE", &texts->csv, "write every sample's findings to FILE as CSV");
    line.Text("--plot", "FILE.png", &texts->plot, "draw the flight's profile and its faults into FILE.png");
    line.Text("--plan", "FILE", &texts->plan, "measure the flight against this plan (.plan, .waypoints, .xctsk): its layers replace the flight's own");
    line.Text("--airspace", "FILE", &texts->airspace, "measure the flight against the airspace of this OpenAir file");
    line.Text("--camera", "NAME", &texts->camera, "the camera that took the flight's photos, for their ground sample distance and forward overlap: " + CameraModelWords());
    line.Number("--overlap", "PERCENT", 0.0, 100.0, &arguments->minimumOverlap, "the forward overlap below which consecutive photos along a line are a gap (default 60)");
    line.Json(&arguments->json);
    line.SkipExisting(&arguments->skipExisting, "the --csv and --plot files are newer than the log, the plan and the airspace");
    const CommandLineOutcome outcome = line.Parse(argc, argv, 2);
    if (outcome.run && !texts->camera.empty() && !(arguments->camera = FindCameraModel(texts->camera)))
        return line.Refuse("--camera: unknown camera '" + texts->camera + "'; one of " + CameraModelWords());
    auto text = [](const std::string& given) { return given.empty() ? nullptr : given.c_str(); };
    arguments->log = texts->log.c_str();
    arguments->samples = text(texts->samples);
    arguments->csv = text(texts->csv);
    arguments->plot = text(texts->plot);
    arguments->plan = text(texts->plan);
    arguments->airspace = text(texts->airspace);
    return outcome;
}

// Each fault kind of the flight as a warning, with the sample numbers where its stretches begin.
void ReportFaults(const FlightRows& rows, const FlightCheckReport& report, const FlightCheckLimits& limits, CommandReport* command)
{
    command->Count("samples", static_cast<double>(report.samples.size()));
    command->Count("valid_positions", report.validPositions);
    command->Count("over_drawn_ground", report.coveredSamples);
    for (int32_t kind = 0; kind < FaultKindCount; ++kind)
    {
        const std::vector<FaultStretch>& stretches = report.faults[kind];
        command->Count(FaultKindColumn(static_cast<FaultKind>(kind)), static_cast<double>(stretches.size()));
        if (stretches.empty())
            continue;
        std::vector<int32_t> samples;
        for (const FaultStretch& stretch : stretches)
            samples.push_back(rows[stretch.firstRow].samplenumber);
        command->Warning(FaultKindColumn(static_cast<FaultKind>(kind)), FaultKindHeading(static_cast<FaultKind>(kind), limits, report.medianStep), samples);
    }
    // The other cause of warnings: where the replay draws no ground, from the first sample of
    // each stretch without it.
    if (report.coveredSamples < report.validPositions)
    {
        std::vector<int32_t> samples;
        bool before = true;
        for (size_t row = 0; row < report.samples.size(); ++row)
        {
            const bool bare = report.samples[row].validPosition && !report.samples[row].clearance.covered;
            if (bare && before)
                samples.push_back(rows[static_cast<int32_t>(row)].samplenumber);
            before = !bare;
        }
        command->Warning("no_drawn_ground", std::to_string(report.validPositions - report.coveredSamples) + " of " + std::to_string(report.validPositions) +
                                                " valid positions have no drawn ground under them (no elevation tile)",
                         samples);
    }
}

// --plan and --airspace into the flight's plan. A file that cannot be read is named in one
// line and left out: the flight is checked all the same.
void ReadPlanFiles(const CheckArguments& arguments, FlightPlan* plan, CommandReport* command)
{
    struct Given
    {
        const char* path;
        const char* option;
        bool (*read)(const std::string&, FlightPlan*, std::string*);
    };
    for (const Given& given : {Given{arguments.plan, "--plan", ReadPlanFile}, Given{arguments.airspace, "--airspace", ReadAirspaceFile}})
    {
        if (!given.path)
            continue;
        FlightPlan read = *plan; // a reader that fails part way must not leave half a layer
        std::string error;
        if (given.read(given.path, &read, &error))
        {
            command->Read(given.path);
            *plan = std::move(read);
            continue;
        }
        fprintf(stderr, "check: %s %s; checked without it\n", given.option, error.c_str());
        command->Warning("plan_file", std::string(given.option) + " " + error);
    }
}

CommandStatus StatusOfVerdict(FlightVerdict verdict)
{
    switch (verdict)
    {
    case FlightVerdict::Clean: return CommandStatus::Done;
    case FlightVerdict::Warnings: return CommandStatus::Warnings;
    default: return CommandStatus::BadInput;
    }
}

} // namespace

int RunCheck(int argc, char** argv, CheckPlotWriter writePlot)
{
    CheckArguments arguments;
    CheckArgumentTexts texts;
    const CommandLineOutcome parsed = ParseArguments(argc, argv, &arguments, &texts);
    if (!parsed.run)
        return EndOfCommandLine("check", parsed, argc, argv);
    if (arguments.plot && !writePlot)
    {
        fprintf(stderr, "check: --plot needs the full data tool (%s)\n", FullDataToolPath);
        return UsageFailure("check", arguments.json, "--plot needs the full data tool");
    }
    CommandReport command("check", arguments.json);
    // A track or a picture would be echoed to the console byte by byte by the log reader.
    if (!AcceptFlightLog("check", arguments.log))
        return command.Finish(CommandStatus::BadInput, std::string("'") + arguments.log + "' is no keyword log");
    if (ClassifyLogFile(arguments.log) == LogFileKind::Unopenable)
    {
        printf("Not open '%s'\n", arguments.log);
        return command.Finish(CommandStatus::BadInput, std::string("cannot open '") + arguments.log + "'");
    }
    command.Read(arguments.log);
    std::vector<std::string> outputs;
    for (const char* output : {arguments.csv, arguments.plot})
        if (output)
            outputs.push_back(output);
    // Only the files count: the report itself is printed anew each time.
    std::vector<std::string> inputs = {arguments.log};
    for (const char* input : {arguments.plan, arguments.airspace})
        if (input)
            inputs.push_back(input);
    if (arguments.skipExisting && OutputsUpToDate(inputs, outputs))
    {
        for (const std::string& output : outputs)
            command.Written(output);
        command.Skipped();
        fprintf(stderr, "check: the outputs are newer than '%s': skipped\n", arguments.log);
        return command.Finish(CommandStatus::Done);
    }
    // The selection as the replay makes it, falling back to the whole flight as it does.
    // Without one the flight is checked whole: the replay's own selection stops where its
    // table does, and the check keeps no table.
    if (!arguments.samples)
        SelectEverySample();
    else if (!SelectSamples(arguments.samples))
        printf("check: no range of '%s' is kept, checking the whole flight (0-100000)\n", arguments.samples);

    // What cannot be loaded (no accepted row) is judged unusable by the check.
    LoadedFlight flight;
    LoadFlight(arguments.log, nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight);
    ReadPlanFiles(arguments, &flight.plan, &command);
    const FlightRows rows = flight.Rows();
    const FlightCheckReport report = CheckFlight(rows, flight.Frame(), flight.selection, arguments.limits);
    // The plan is measured over the ground the player draws under it, wherever there are tiles.
    const bool hasPlan = !flight.plan.Empty() && !report.samples.empty();
    const PlanCheckReport planReport = hasPlan ? CheckPlan(rows, flight.plan, GroundHeightOf(PagedGround())) : PlanCheckReport();
    const PlanFindings findings{flight.plan, planReport};
    // Other aircraft only when the flight heard any: a flight without traffic reads as before.
    const std::vector<TrafficApproach> traffic = ClosestApproaches(rows, flight.traffic);
    // The photos over the same drawn ground.
    const std::vector<PhotoPlace> photos = PhotoPlaces(flight.photos);
    const PhotoCheckReport photoReport = CheckPhotos(photos, GroundHeightOf(PagedGround()), arguments.camera, arguments.minimumOverlap / 100.0);
    PrintCheckReport(stdout, arguments.log, rows.rows, report, arguments.limits, hasPlan ? &findings : nullptr, traffic.empty() ? nullptr : &traffic,
                     PhotoFindingsText(photos, photoReport, arguments.camera));
    ReportFaults(rows, report, arguments.limits, &command);
    if (hasPlan)
        command.Section("plan", PlanFindingsJson(rows.rows, findings));
    if (!traffic.empty())
        command.Section("traffic", TrafficApproachesJson(traffic));
    if (!photos.empty())
    {
        command.Count("photos", static_cast<double>(photos.size()));
        command.Count("photo_overlap_gaps", static_cast<double>(photoReport.gaps.size()));
        command.Section("photos", PhotosJson(photos, photoReport));
        command.Section("photo_gaps", PhotoGapsJson(photos, photoReport));
    }

    CommandStatus status = StatusOfVerdict(report.verdict);
    std::string failure = report.verdict == FlightVerdict::Unusable ? VerdictText(report) : "";
    auto written = [&](const char* path, bool done, const char* what) {
        if (done)
        {
            command.Written(path);
            return;
        }
        const int error = errno;
        fprintf(stderr, "check: cannot write '%s'\n", path);
        status = WriteFailureStatus(error);
        failure = std::string("cannot write the ") + what + " '" + path + "': " + strerror(error);
    };
    if (arguments.csv && !report.samples.empty())
    {
        const bool done = WriteCheckCsv(arguments.csv, rows.rows, report, hasPlan ? &findings : nullptr);
        if (done)
            printf("csv: %zu rows written to '%s'\n", report.samples.size(), arguments.csv);
        written(arguments.csv, done, "CSV");
        if (!photos.empty())
        {
            const std::string photoCsv = PhotoCsvPathFor(arguments.csv);
            const bool photosDone = WritePhotoCsv(photoCsv, photos, photoReport);
            if (photosDone)
                printf("csv: %zu photos written to '%s'\n", photos.size(), photoCsv.c_str());
            written(photoCsv.c_str(), photosDone, "photos' CSV");
        }
    }
    if (arguments.plot && !report.samples.empty())
    {
        const std::string title = std::string("flight check of ") + arguments.log + ": " + VerdictText(report);
        const bool done = writePlot(arguments.plot, title, rows.rows, report);
        if (done)
            printf("plot: %dx%d written to '%s'\n", CheckPlotWidth, CheckPlotHeight, arguments.plot);
        written(arguments.plot, done, "plot");
    }
    return command.Finish(status, failure);
}
