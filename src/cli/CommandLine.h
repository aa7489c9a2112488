#pragma once
#include <functional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

// How every companion command reads its command line: the data tool's commands, the demo
// world's generator, the player and its recorder. Each builds a CommandLine (a CLI11 app)
// with the options below and parses with it, so that they all keep one set of conventions:
//
// - --help (-h) anywhere: the command's help, made by CLI11 from the options' descriptions,
//   on stdout, and status 0;
// - an option given twice is refused, unless it is made to be repeated (Texts);
// - an option the command does not know is refused, and so is an argument beyond those it
//   takes;
// - numbers are read strictly: the whole text, in decimal, finite, within the option's range;
// - a value that is itself an option (--out --json) is a missing value;
// - a usage error is one line on stderr, "COMMAND: MESSAGE", then the command's usage line,
//   and the program's status for a usage error.
// The words of each kind of usage error are these functions' (without the command's name):

std::string GivenTwice(const std::string& option);           // --max-tiles given twice
std::string UnknownOption(const std::string& option);        // unknown option '--foo'
std::string UnexpectedArgument(const std::string& argument); // unexpected argument 'b.log'
std::string NeedsValue(const std::string& option);           // --out needs a value
std::string TakesNoValue(const std::string& option);         // --json takes no value
std::string NothingGiven(const std::string& what);           // no FLIGHT given
// A value the option cannot take: --max-tiles wants a whole number from 0 to 1000000, not 'x'
// (and ": WHY" after it when a reason is given).
std::string WantsValue(const std::string& option, const std::string& wanted, const std::string& text, const std::string& why = "");
// What a numeric option wants: "a whole number from 1 to 240", "a number from 0.25 to 64",
// "a number above 0, at most 1000".
std::string WholeNumberWanted(long long lowest, long long highest);
std::string NumberWanted(double lowest, double highest, bool aboveLowest = false);

// The whole text is a whole number in decimal (an optional sign, digits, nothing else)
// within [lowest, highest].
bool ReadWholeNumber(const std::string& text, long long lowest, long long highest, long long* value);
// The whole text is a finite decimal number (no hexadecimal, no inf or nan) within
// [lowest, highest], or (lowest, highest] when aboveLowest.
bool ReadNumber(const std::string& text, double lowest, double highest, double* value, bool aboveLowest = false);

// What parsing a command line came to.
struct CommandLineOutcome
{
    bool run = false;    // parsed: the command goes on
    int status = 0;      // else its exit status: 0 after --help, the usage status after a usage error
    std::string message; // the usage error, without the command's name; empty after --help
};

class CommandLine
{
public:
    // `command` starts the messages ("world", "record"); `program` is how the help and the
    // usage line name it ("flightreplay-data world"); `usageStatus` ends a usage error.
    CommandLine(std::string command, std::string program, std::string description, int usageStatus);
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    CLI::App& App() { return app; }
    const std::string& Command() const { return command; }

    // A flag, once: sets `value`, or calls `given`.
    CLI::Option* Flag(const std::string& name, bool* value, const std::string& description);
    CLI::Option* Flag(const std::string& name, std::function<void()> given, const std::string& description);
    // A value, once, handed to `take`; `valueName` names it in the help ("FILE").
    CLI::Option* Value(const std::string& name, const std::string& valueName, std::function<void(const std::string&)> take, const std::string& description);
    // A value, once, that `read` judges: false refuses it with WantsValue(name, wanted, text,
    // the reason `read` gave, if any).
    CLI::Option* Checked(const std::string& name, const std::string& valueName, const std::string& wanted, std::function<bool(const std::string& text, std::string* why)> read,
                         const std::string& description);
    CLI::Option* Text(const std::string& name, const std::string& valueName, std::string* value, const std::string& description);
    // A value that may be given any number of times, each kept in order.
    CLI::Option* Texts(const std::string& name, const std::string& valueName, std::vector<std::string>* values, const std::string& description);
    // A whole number, once, within [lowest, highest].
    CLI::Option* Whole(const std::string& name, const std::string& valueName, long long lowest, long long highest, std::function<void(long long)> take, const std::string& description);
    CLI::Option* Whole(const std::string& name, const std::string& valueName, long long lowest, long long highest, int* value, const std::string& description);
    // A number, once, within [lowest, highest] ((lowest, highest] when aboveLowest).
    CLI::Option* Number(const std::string& name, const std::string& valueName, double lowest, double highest, double* value, const std::string& description, bool aboveLowest = false);
    // The argument that is not an option, one (required: NothingGiven(name) without it).
    CLI::Option* Positional(const std::string& name, std::string* value, const std::string& description, bool required = true);
    // Arguments that are not options, any number (required: at least one).
    CLI::Option* Positionals(const std::string& name, std::vector<std::string>* values, const std::string& description, bool required = true);

    // The flags the batch commands share.
    CLI::Option* Json(bool* value);
    // `upToDate` says when the outputs are: "the log is newer than the flight".
    CLI::Option* SkipExisting(bool* value, const std::string& upToDate);

    // Parses the arguments after the command's name (the data tool's: after "world").
    // After --help or a usage error it has printed what it says above.
    CommandLineOutcome Parse(const std::vector<std::string>& arguments);
    CommandLineOutcome Parse(int argc, char** argv, int first);
    // A usage error the command finds in what was parsed (options that go together, a count
    // of arguments): printed and ended as a parse's.
    CommandLineOutcome Refuse(const std::string& message) const;

    // Whether the option was on the command line.
    bool Given(const std::string& name) const;
    // The usage line: "Usage: flightreplay-data world [OPTIONS] FLIGHT...".
    std::string Usage() const;

private:
    std::string command;
    int usageStatus;
    CLI::App app;
};
