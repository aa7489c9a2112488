#include "datatool/CheckCommand.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "batch/CommandReport.h"
#include "flight/LoadedFlight.h"
#include "flight/RangeListParser.h"
#include "check/FlightCheck.h"
#include "datatool/CheckCsv.h"
#include "datatool/CheckPlot.h"
#include "datatool/CheckReport.h"
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
    bool json = false;
    bool skipExisting = false;
    FlightCheckLimits limits;
};

int Usage(const char* program)
{
    fprintf(stderr, "usage: %s check LOG [--samples LIST] [--max-speed M/S] [--csv FILE] [--plot FILE.png] [--json] [--skip-existing]\n", program);
    return DataToolUsage;
}

bool ParseArguments(int argc, char** argv, CheckArguments* arguments)
{
    for (int i = 2; i < argc; ++i)
    {
        const char* argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (strcmp(argument, "--samples") == 0 && hasValue)
            arguments->samples = argv[++i];
        else if (strcmp(argument, "--csv") == 0 && hasValue)
            arguments->csv = argv[++i];
        else if (strcmp(argument, "--plot") == 0 && hasValue)
            arguments->plot = argv[++i];
        else if (strcmp(argument, "--json") == 0)
            arguments->json = true;
        else if (strcmp(argument, "--skip-existing") == 0)
            arguments->skipExisting = true;
        else if (strcmp(argument, "--max-speed") == 0 && hasValue)
        {
            char* end = nullptr;
            const double speed = strtod(argv[++i], &end);
            if (*end != '\0' || !(speed > 0.0) || !(speed < 1e6))
            {
                fprintf(stderr, "check: '%s' is no speed in m/s\n", argv[i]);
                return false;
            }
            arguments->limits.maximumSpeed = speed;
        }
        else if (strncmp(argument, "--", 2) == 0 || arguments->log)
        {
            fprintf(stderr, "check: unknown or incomplete argument '%s'\n", argument);
            return false;
        }
        else
            arguments->log = argument;
    }
    return arguments->log != nullptr;
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
    if (!ParseArguments(argc, argv, &arguments))
    {
        Usage(argv[0]);
        return UsageFailure("check", AsksForJson(argc, argv), "the command line is not understood");
    }
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
    if (arguments.skipExisting && OutputsUpToDate({arguments.log}, outputs))
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
    const FlightRows rows = flight.Rows();
    const FlightCheckReport report = CheckFlight(rows, flight.Frame(), flight.selection, arguments.limits);
    PrintCheckReport(stdout, arguments.log, rows.rows, report, arguments.limits);
    ReportFaults(rows, report, arguments.limits, &command);

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
        const bool done = WriteCheckCsv(arguments.csv, rows.rows, report);
        if (done)
            printf("csv: %zu rows written to '%s'\n", report.samples.size(), arguments.csv);
        written(arguments.csv, done, "CSV");
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
