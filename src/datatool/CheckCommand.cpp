#include "datatool/CheckCommand.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/FlightLoading.h"
#include "app/RangeListParser.h"
#include "check/FlightCheck.h"
#include "datatool/CheckCsv.h"
#include "datatool/CheckPlot.h"
#include "datatool/CheckReport.h"
#include "datatool/DataTool.h"
#include "datatool/FlightLogCheck.h"
#include "log/SampleTable.h"

namespace
{

struct CheckArguments
{
    const char* log = nullptr;
    const char* samples = nullptr;
    const char* csv = nullptr;
    const char* plot = nullptr;
    FlightCheckLimits limits;
};

int Usage(const char* program)
{
    fprintf(stderr, "usage: %s check LOG [--samples LIST] [--max-speed M/S] [--csv FILE] [--plot FILE.png]\n", program);
    return CheckUnusable;
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

// Rows the table could not take, and the range that checks the next of them. Without
// --samples the selection is as wide as the table (sample numbers 1 to 99999), so a longer
// log is cut there.
void PrintRowsLeftOut(bool selected)
{
    const long leftOut = static_cast<long>(SampleTable.droppedRows) + (selected ? 0 : SampleTable.unselectedRows);
    if (leftOut == 0 || SampleTable.rowCount == 0)
        return;
    const long from = selected ? SampleTable.rows[SampleTable.rowCount - 1].samplenumber : RangeList.entries[0].end - 1;
    printf("check: %ld more rows were left out: the table holds %ld rows%s; check the rest a range at a time: --samples %ld-%ld, and so on\n", leftOut, static_cast<long>(RowCapacity),
        selected ? "" : ", and without --samples only sample numbers 1 to 99999 are read", from, from + RowCapacity);
}

} // namespace

int RunCheck(int argc, char** argv, CheckPlotWriter writePlot)
{
    CheckArguments arguments;
    if (!ParseArguments(argc, argv, &arguments))
        return Usage(argv[0]);
    if (arguments.plot && !writePlot)
    {
        fprintf(stderr, "check: --plot needs the full data tool (%s)\n", FullDataToolPath);
        return CheckUnusable;
    }
    // A track or a picture would be echoed to the console byte by byte by the log reader.
    if (!AcceptFlightLog("check", arguments.log))
        return CheckUnusable;
    if (ClassifyLogFile(arguments.log) == LogFileKind::Unopenable)
    {
        printf("Not open '%s'\n", arguments.log);
        return CheckUnusable;
    }
    // The selection as the replay makes it, falling back to the whole flight as it does.
    if (arguments.samples && !SelectSamples(arguments.samples))
        printf("check: no range of '%s' is kept, checking the whole flight (0-100000)\n", arguments.samples);

    LoadFlightQuietly(arguments.log);
    PrintTableOverflow();
    PrintRowsLeftOut(arguments.samples != nullptr);
    const FlightCheckReport report = CheckFlight(SampleTable.rows, SampleTable.rowCount, arguments.limits);
    PrintCheckReport(stdout, arguments.log, SampleTable.rows, report, arguments.limits);

    int status = static_cast<int>(report.verdict);
    if (arguments.csv && !report.samples.empty())
    {
        if (WriteCheckCsv(arguments.csv, SampleTable.rows, report))
            printf("csv: %zu rows written to '%s'\n", report.samples.size(), arguments.csv);
        else
        {
            fprintf(stderr, "check: cannot write '%s'\n", arguments.csv);
            status = CheckUnusable;
        }
    }
    if (arguments.plot && !report.samples.empty())
    {
        const std::string title = std::string("flight check of ") + arguments.log + ": " + VerdictText(report);
        if (writePlot(arguments.plot, title, SampleTable.rows, report))
            printf("plot: %dx%d written to '%s'\n", CheckPlotWidth, CheckPlotHeight, arguments.plot);
        else
        {
            fprintf(stderr, "check: cannot write '%s'\n", arguments.plot);
            status = CheckUnusable;
        }
    }
    return status;
}
