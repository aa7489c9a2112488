#include "datatool/DataTool.h"

#include <cstring>

namespace
{

// The commands, with the synopsis of each: the overview's lines.
const struct
{
    const char* name;
    const char* synopsis;
} DataCommands[] = {
    {"plan", "LOG [--samples LIST]"},
    {"dem", "SOURCE... (--log LOG [--samples LIST] | --bbox S,W,N,E)"},
    {"imagery", "SOURCE [--tms] (--log LOG [--samples LIST] | --bbox S,W,N,E)"},
    {"fetch", "(LOG | FLIGHT | --area S,W,N,E | --area FLIGHT [FLIGHT...]) [--offline] [--dry-run] [--max-tiles N] [--json]"},
    {"world", "FLIGHT [FLIGHT...] [--out DIR] [--offline] [--max-tiles N] [--dem RASTER]... [--imagery SOURCE]... [--json] [--skip-existing]"},
    {"track", "INPUT [--out FILE] [--rate HZ] [--info] [--events FILE | --no-events] [--no-plan] [--json] [--skip-existing]  (the log on stdout without --out)"},
    {"check", "LOG [--samples LIST] [--max-speed M/S] [--csv FILE] [--plot FILE.png] [--plan FILE] [--airspace FILE] [--camera NAME] [--overlap PERCENT] [--json] [--skip-existing]"},
    {"sync", "LOG CLIP [--json]  (writes the clip's sync beside it)"},
    {"subtitles", "LOG --out FILE.srt|FILE.ass [--for CLIP] [--json]"},
    {"export", "FLIGHT --to FORMAT [--out PATH] [--json]  (the flight for other programs)"},
};

} // namespace

bool IsDataCommand(const char* word)
{
    for (const auto& command : DataCommands)
        if (strcmp(word, command.name) == 0)
            return true;
    return false;
}

std::string DataCommandName(const char* program, const char* command)
{
    return std::string(program) + " " + command;
}

int RunDataToolOverview(int argc, char** argv)
{
    const char* program = argc > 0 && argv[0] ? argv[0] : "flightreplay-data";
    CommandLine line("flightreplay-data", program, "Flight files to logs, the check of a flight, the files of a replay's world, and video clips lined up with flights. Run a command with --help for its options.", DataToolUsage);
    std::string command;
    std::string commands = "The commands:\n";
    for (const auto& each : DataCommands)
        commands += std::string("  ") + program + " " + each.name + " " + each.synopsis + "\n";
    line.Positional("COMMAND", &command, "plan, dem, imagery, fetch, world, track, check, sync, subtitles or export");
    line.App().footer(commands);
    const CommandLineOutcome outcome = line.Parse(argc, argv, 1);
    // Only a command line without a known command comes here.
    return outcome.run ? line.Refuse("unknown command '" + command + "'").status : outcome.status;
}

int EndOfCommandLine(const char* command, const CommandLineOutcome& outcome, int argc, char** argv)
{
    return outcome.status == 0 ? 0 : UsageFailure(command, AsksForJson(argc, argv), outcome.message);
}
