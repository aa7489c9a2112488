// The companion commands' one way of reading a command line (cli/CommandLine.h): its
// conventions on a command line of the test's own, then the programs themselves, each
// command's --help and the same three mistakes in several commands.
#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/CommandLine.h"
#include "support/TestSupport.h"

namespace
{

TEST(CommandLineTest, NumbersAreReadWholeInDecimalAndWithinTheirRange)
{
    long long whole = 0;
    EXPECT_TRUE(ReadWholeNumber("010", 0, 100, &whole));
    EXPECT_EQ(whole, 10) << "decimal, never octal";
    EXPECT_TRUE(ReadWholeNumber("+7", 0, 100, &whole));
    EXPECT_EQ(whole, 7);
    for (const char* wrong : {"", "0x10", "1e2", "5 ", " 5", "5x", "2.0", "-", "101", "-1", "99999999999999999999"})
        EXPECT_FALSE(ReadWholeNumber(wrong, 0, 100, &whole)) << wrong;
    double number = 0.0;
    EXPECT_TRUE(ReadNumber("2.5e1", 0.0, 64.0, &number));
    EXPECT_EQ(number, 25.0);
    for (const char* wrong : {"", "nan", "inf", "0x1p3", "1e999", "3,5", "65", "."})
        EXPECT_FALSE(ReadNumber(wrong, 0.0, 64.0, &number)) << wrong;
    EXPECT_FALSE(ReadNumber("0", 0.0, 64.0, &number, true)) << "above the lowest";
}

struct TestLine
{
    int count = 0;
    double speed = 1.0;
    bool json = false;
    std::string input;
    std::vector<std::string> sources;

    CommandLineOutcome Parse(const std::vector<std::string>& arguments)
    {
        CommandLine line("test", "test-program", "A command line for the test.", 64);
        line.Positional("INPUT", &input, "the input");
        line.Whole("--count", "N", 0, 10, &count, "a count");
        line.Number("--speed", "X", 0.25, 64.0, &speed, "a speed");
        line.Texts("--source", "FILE", &sources, "a source, again and again");
        line.Json(&json);
        return line.Parse(arguments);
    }
};

TEST(CommandLineTest, EachKindOfMistakeHasItsOneWording)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"in", "--count", "1", "--count", "2"}, "--count given twice"},
        {{"in", "--json", "--json"}, "--json given twice"},
        {{"in", "--cuont", "1"}, "unknown option '--cuont'"},
        {{"in", "--cuont=1"}, "unknown option '--cuont'"},
        {{"in", "-c"}, "unknown option '-c'"},
        {{"in", "--count", "x"}, "--count wants a whole number from 0 to 10, not 'x'"},
        {{"in", "--count=11"}, "--count wants a whole number from 0 to 10, not '11'"},
        {{"in", "--speed", "fast"}, "--speed wants a number from 0.25 to 64, not 'fast'"},
        {{"in", "--count"}, "--count needs a value"},
        {{"in", "--count", "--json"}, "--count needs a value"},
        {{"in", "--json=yes"}, "--json takes no value"},
        {{"in", "out"}, "unexpected argument 'out'"},
        {{}, "no INPUT given"},
    };
    for (const auto& [arguments, message] : cases)
    {
        TestLine line;
        const CommandLineOutcome outcome = line.Parse(arguments);
        EXPECT_FALSE(outcome.run) << message;
        EXPECT_EQ(outcome.status, 64) << message;
        EXPECT_EQ(outcome.message, message);
    }
    TestLine line;
    const CommandLineOutcome outcome = line.Parse({"--source", "a", "in", "--source=b", "--count", "3", "--speed", "0.5", "--json"});
    ASSERT_TRUE(outcome.run) << outcome.message;
    EXPECT_EQ(line.input, "in");
    EXPECT_EQ(line.sources, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(line.count, 3);
    EXPECT_EQ(line.speed, 0.5);
    EXPECT_TRUE(line.json);
    // Help, wherever it stands and whatever else is wrong, is no mistake.
    TestLine help;
    EXPECT_EQ(help.Parse({"--count", "x", "--help"}).status, 0);
}

// A program's command as run, and its status for a usage error.
struct Command
{
    const char* program;
    std::vector<std::string> words; // the command's name, if any, and the arguments it needs to parse
    const char* name;               // how its messages start
    int usageStatus;
};

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// The same three mistakes in commands of three programs: the same words, and each program's
// status for a usage error.
TEST(CommandLineTest, ARepeatedOptionAnUnknownOptionAndABadNumberAreToldAlikeEverywhere)
{
    const struct
    {
        Command command;
        const char* flag;   // a flag of the command's, to give twice
        const char* option; // an option that takes a number, and what it wants
        const char* wants;
    } commands[] = {
        {{FLIGHTREPLAY_DATA_BINARY, {"world", "flight.gpx"}, "world", 64}, "--json", "--max-tiles", "a whole number from 0 to 1000000"},
        {{FLIGHTREPLAY_DATA_BINARY, {"fetch", "flight.log"}, "fetch", 64}, "--json", "--max-tiles", "a whole number from 0 to 1000000"},
        {{FLIGHTREPLAY_DATA_BINARY, {"check", "flight.log"}, "check", 64}, "--json", "--max-speed", "a number above 0, at most 1000000"},
        {{FLIGHTREPLAY_PLAYER_BINARY, {"flight.log", "--record", "out.mp4"}, "record", 64}, "--json", "--fps", "a whole number from 1 to 240"},
        {{FLIGHTREPLAY_PLAYER_BINARY, {"flight.log"}, "player", 255}, "--no-hud", "--speed", "a number from 0.25 to 64"},
        {{FLIGHTREPLAY_WORLDGEN_BINARY, {"--out", "world"}, "worldgen", 1}, "--faults", "--threads", "a whole number from 1 to 1024"},
    };
    ScratchDirectory scratch;
    for (const auto& each : commands)
    {
        // Named apart: a lambda may not capture a structured binding in C++17.
        const Command& command = each.command;
        const std::string flag = each.flag, option = each.option, wants = each.wants;
        auto run = [&](const std::vector<std::string>& more) {
            std::vector<std::string> arguments = command.words;
            arguments.insert(arguments.end(), more.begin(), more.end());
            return RunProgram(command.program, scratch.Path(), arguments);
        };
        const std::string prefix = std::string(command.name) + ": ";
        const RunResult twice = run({flag, flag});
        EXPECT_EQ(twice.status, command.usageStatus) << command.name;
        EXPECT_EQ(FirstLine(twice.err), prefix + flag + " given twice");
        const RunResult unknown = run({"--bogus"});
        EXPECT_EQ(unknown.status, command.usageStatus) << command.name;
        EXPECT_EQ(FirstLine(unknown.err), prefix + "unknown option '--bogus'");
        const RunResult bad = run({option, "x"});
        EXPECT_EQ(bad.status, command.usageStatus) << command.name;
        EXPECT_EQ(FirstLine(bad.err), prefix + option + " wants " + wants + ", not 'x'");
        // The usage line follows, and nothing goes to stdout but a batch command's object.
        EXPECT_EQ(SplitLines(unknown.err).at(1).rfind("Usage: ", 0), 0u) << unknown.err;
        if (command.usageStatus != 64)
        {
            EXPECT_EQ(unknown.out, "") << command.name;
        }
    }
    // For a batch command the object says the same, in its message.
    const RunResult json = RunProgram(FLIGHTREPLAY_DATA_BINARY, scratch.Path(), {"world", "flight.gpx", "--json", "--max-tiles", "many"});
    EXPECT_EQ(json.status, 64);
    EXPECT_NE(json.out.find("\"message\":\"--max-tiles wants a whole number from 0 to 1000000, not 'many'\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"status\":\"usage\""), std::string::npos) << json.out;
}

// A command asked for its help.
struct HelpCase
{
    const char* program;
    std::vector<std::string> words; // the command's name, if any, and arguments before --help
    const char* usage;              // what follows the program on the usage line
    const char* shows;              // an option the help lists
};

void PrintTo(const HelpCase& command, std::ostream* out)
{
    *out << command.program;
    for (const std::string& word : command.words)
        *out << ' ' << word;
    *out << " --help";
}

// Every command's --help comes from its command line: on stdout, status 0, naming the command
// and its options, wherever it stands.
class CommandHelpTest : public testing::TestWithParam<HelpCase>
{
};

TEST_P(CommandHelpTest, HelpIsTheCommandLinesOwn)
{
    const HelpCase& command = GetParam();
    ScratchDirectory scratch;
    std::vector<std::string> arguments = command.words;
    arguments.push_back("--help");
    const RunResult run = RunProgram(command.program, scratch.Path(), arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find(std::string("Usage: ") + command.program + command.usage), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  -h,--help "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(command.shows), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(EveryCommand, CommandHelpTest,
                         testing::Values(HelpCase{FLIGHTREPLAY_DATA_BINARY, {}, " [OPTIONS] COMMAND", " plan LOG"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"plan"}, " plan [OPTIONS] LOG", "--samples LIST"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"dem"}, " dem [OPTIONS] SOURCE...", "--bbox S,W,N,E"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"imagery", "tiles"}, " imagery [OPTIONS] SOURCE", "--tms"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"fetch"}, " fetch [OPTIONS] [LOG|FLIGHT...]", "--area S,W,N,E|FLIGHT"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"world", "--max-tiles", "x"}, " world [OPTIONS] FLIGHT...", "--max-tiles N"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"track"}, " track [OPTIONS] INPUT", "--rate HZ"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"check"}, " check [OPTIONS] LOG", "--max-speed M/S"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"sync"}, " sync [OPTIONS] LOG CLIP", "--json"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"subtitles"}, " subtitles [OPTIONS] LOG", "--out FILE.srt|FILE.ass"},
                                         HelpCase{FLIGHTREPLAY_DATA_BINARY, {"export"}, " export [OPTIONS] FLIGHT", "--to FORMAT"},
                                         HelpCase{FLIGHTREPLAY_PLAYER_BINARY, {}, " [OPTIONS] FLIGHT...", "--colour-track WHAT"},
                                         HelpCase{FLIGHTREPLAY_PLAYER_BINARY, {"flight.log", "--record"}, " [OPTIONS] FLIGHT...", "--camera chase|overview"},
                                         HelpCase{FLIGHTREPLAY_WORLDGEN_BINARY, {}, " [OPTIONS]", "--corridor KM"}),
                         // Named by the program and the words before --help: "data_plan", "player_flight_log_record".
                         [](const testing::TestParamInfo<HelpCase>& info) {
                             std::string name = std::string(info.param.program).substr(std::string(info.param.program).find_last_of('/') + 1);
                             for (const std::string& word : info.param.words)
                                 name += "_" + word;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
