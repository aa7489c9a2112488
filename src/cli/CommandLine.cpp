#include "cli/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace
{

// A usage error in the project's own words, thrown from an option's callback while CLI11
// parses, and caught by Parse.
class Mistake : public CLI::ParseError
{
public:
    explicit Mistake(const std::string& message) : CLI::ParseError("Mistake", message, CLI::ExitCodes::ValidationError) {}
};

// A number as the messages write it: 64, 0.25, 1000000.
std::string Figure(double value)
{
    char text[40];
    snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// An argument that is itself an option, given where a value was due.
bool IsOption(const std::string& text)
{
    return text.size() > 2 && text.compare(0, 2, "--") == 0;
}

// The option's one value: a second one is the option given twice, an option in its place a
// missing value.
const std::string& OneValue(const std::string& name, const CLI::results_t& results)
{
    if (results.size() > 1)
        throw Mistake(GivenTwice(name));
    if (results.empty() || IsOption(results.front()))
        throw Mistake(NeedsValue(name));
    return results.front();
}

} // namespace

std::string GivenTwice(const std::string& option)
{
    return option + " given twice";
}

std::string UnknownOption(const std::string& option)
{
    return "unknown option '" + option + "'";
}

std::string UnexpectedArgument(const std::string& argument)
{
    return "unexpected argument '" + argument + "'";
}

std::string NeedsValue(const std::string& option)
{
    return option + " needs a value";
}

std::string TakesNoValue(const std::string& option)
{
    return option + " takes no value";
}

std::string NothingGiven(const std::string& what)
{
    return "no " + what + " given";
}

std::string WantsValue(const std::string& option, const std::string& wanted, const std::string& text, const std::string& why)
{
    return option + " wants " + wanted + ", not '" + text + "'" + (why.empty() ? "" : ": " + why);
}

std::string WholeNumberWanted(long long lowest, long long highest)
{
    return "a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest);
}

std::string NumberWanted(double lowest, double highest, bool aboveLowest)
{
    return aboveLowest ? "a number above " + Figure(lowest) + ", at most " + Figure(highest) : "a number from " + Figure(lowest) + " to " + Figure(highest);
}

bool ReadWholeNumber(const std::string& text, long long lowest, long long highest, long long* value)
{
    const size_t digits = text.find_first_not_of("+-") == 1 ? 1 : 0;
    if (text.size() <= digits || text.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const long long number = strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || number < lowest || number > highest)
        return false;
    *value = number;
    return true;
}

bool ReadNumber(const std::string& text, double lowest, double highest, double* value, bool aboveLowest)
{
    // Decimal only: strtod would take hexadecimal, "inf" and "nan" too.
    if (text.empty() || text.find_first_not_of("+-.0123456789eE") != std::string::npos || text.find_first_of("0123456789") == std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const double number = strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(number) || number > highest || (aboveLowest ? !(number > lowest) : number < lowest))
        return false;
    *value = number;
    return true;
}

CommandLine::CommandLine(std::string command, std::string program, std::string description, int usageStatus)
    : command(std::move(command)), usageStatus(usageStatus), app(std::move(description), std::move(program))
{
    // The arguments it does not place are looked at after the parse, to be named in the
    // project's words (Parse).
    app.allow_extras();
}

CLI::Option* CommandLine::Flag(const std::string& name, bool* value, const std::string& description)
{
    return Flag(name, [value] { *value = true; }, description);
}

CLI::Option* CommandLine::Flag(const std::string& name, std::function<void()> given, const std::string& description)
{
    CLI::Option* option = app.add_option(
        name,
        [name, given](const CLI::results_t& results) {
            if (results.size() > 1)
                throw Mistake(GivenTwice(name));
            // A plain flag is "true" to CLI11; --json=... is a value it does not take.
            if (results.empty() || results.front() != "true")
                throw Mistake(TakesNoValue(name));
            given();
            return true;
        },
        description);
    option->expected(0)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    return option;
}

CLI::Option* CommandLine::Value(const std::string& name, const std::string& valueName, std::function<void(const std::string&)> take, const std::string& description)
{
    CLI::Option* option = app.add_option(
        name,
        [name, take](const CLI::results_t& results) {
            take(OneValue(name, results));
            return true;
        },
        description);
    option->type_name(valueName)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    return option;
}

CLI::Option* CommandLine::Checked(const std::string& name, const std::string& valueName, const std::string& wanted, std::function<bool(const std::string&, std::string*)> read,
                                  const std::string& description)
{
    return Value(
        name, valueName,
        [name, wanted, read](const std::string& text) {
            std::string why;
            if (!read(text, &why))
                throw Mistake(WantsValue(name, wanted, text, why));
        },
        description);
}

CLI::Option* CommandLine::Text(const std::string& name, const std::string& valueName, std::string* value, const std::string& description)
{
    return Value(name, valueName, [value](const std::string& text) { *value = text; }, description);
}

CLI::Option* CommandLine::Texts(const std::string& name, const std::string& valueName, std::vector<std::string>* values, const std::string& description)
{
    CLI::Option* option = app.add_option(
        name,
        [name, values](const CLI::results_t& results) {
            for (const std::string& text : results)
            {
                if (IsOption(text))
                    throw Mistake(NeedsValue(name));
                values->push_back(text);
            }
            return true;
        },
        description);
    option->type_name(valueName)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    return option;
}

CLI::Option* CommandLine::Whole(const std::string& name, const std::string& valueName, long long lowest, long long highest, std::function<void(long long)> take, const std::string& description)
{
    return Checked(
        name, valueName, WholeNumberWanted(lowest, highest),
        [lowest, highest, take](const std::string& text, std::string*) {
            long long number = 0;
            if (!ReadWholeNumber(text, lowest, highest, &number))
                return false;
            take(number);
            return true;
        },
        description);
}

CLI::Option* CommandLine::Whole(const std::string& name, const std::string& valueName, long long lowest, long long highest, int* value, const std::string& description)
{
    return Whole(name, valueName, lowest, highest, [value](long long number) { *value = static_cast<int>(number); }, description);
}

CLI::Option* CommandLine::Number(const std::string& name, const std::string& valueName, double lowest, double highest, double* value, const std::string& description, bool aboveLowest)
{
    return Checked(
        name, valueName, NumberWanted(lowest, highest, aboveLowest),
        [lowest, highest, value, aboveLowest](const std::string& text, std::string*) { return ReadNumber(text, lowest, highest, value, aboveLowest); }, description);
}

CLI::Option* CommandLine::Positional(const std::string& name, std::string* value, const std::string& description, bool required)
{
    CLI::Option* option = app.add_option(
        name,
        [value](const CLI::results_t& results) {
            *value = results.front();
            return true;
        },
        description);
    option->type_name("")->expected(1)->required(required);
    return option;
}

CLI::Option* CommandLine::Positionals(const std::string& name, std::vector<std::string>* values, const std::string& description, bool required)
{
    CLI::Option* option = app.add_option(
        name,
        [values](const CLI::results_t& results) {
            *values = results;
            return true;
        },
        description);
    option->type_name("")->expected(required ? 1 : 0, -1)->allow_extra_args()->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)->required(required);
    return option;
}

CLI::Option* CommandLine::Json(bool* value)
{
    return Flag("--json", value, "the summary (what was read and written, counts, warnings, timings, status) as one JSON object on stdout; the lines for people on stderr");
}

CLI::Option* CommandLine::SkipExisting(bool* value, const std::string& upToDate)
{
    return Flag("--skip-existing", value, "do nothing, with status 0, when " + upToDate);
}

CommandLineOutcome CommandLine::Parse(const std::vector<std::string>& arguments)
{
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    std::string message;
    bool requiredMissing = false;
    try
    {
        app.parse(reversed);
    }
    catch (const CLI::CallForHelp&)
    {
    }
    catch (const CLI::RequiredError&)
    {
        requiredMissing = true;
    }
    catch (const Mistake& mistake)
    {
        message = mistake.what();
    }
    catch (const CLI::ArgumentMismatch& mismatch)
    {
        // "--out: 1 required DIR missing": the option ended the line (or was given as --out=).
        const std::string what = mismatch.what();
        const std::string name = what.substr(0, what.find(':'));
        message = name.compare(0, 1, "-") == 0 ? NeedsValue(name) : what;
    }
    catch (const CLI::ParseError& error)
    {
        message = error.what();
    }
    // Asking for help is no mistake, wherever it stands: even where a value was due
    // (--record --help), or after a mistake.
    bool help = app.get_help_ptr() && app.get_help_ptr()->count() > 0;
    for (const std::string& argument : arguments)
    {
        if (argument == "--")
            break;
        help = help || argument == "--help" || argument == "-h";
    }
    if (help)
    {
        fputs(app.help().c_str(), stdout);
        fflush(stdout);
        return CommandLineOutcome{false, 0, ""};
    }
    if (message.empty())
        for (const std::string& extra : app.remaining())
        {
            if (extra == "--")
                continue;
            message = extra.size() > 1 && extra[0] == '-' ? UnknownOption(extra.substr(0, extra.find('='))) : UnexpectedArgument(extra);
            break;
        }
    if (message.empty() && requiredMissing)
        for (const CLI::Option* option : app.get_options())
            if (option->get_required() && option->count() == 0)
            {
                message = NothingGiven(option->get_name());
                break;
            }
    if (message.empty() && requiredMissing)
        message = "a required argument is missing";
    if (!message.empty())
        return Refuse(message);
    return CommandLineOutcome{true, 0, ""};
}

CommandLineOutcome CommandLine::Parse(int argc, char** argv, int first)
{
    std::vector<std::string> arguments;
    for (int i = first; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return Parse(arguments);
}

CommandLineOutcome CommandLine::Refuse(const std::string& message) const
{
    fprintf(stderr, "%s: %s\n%s", command.c_str(), message.c_str(), Usage().c_str());
    return CommandLineOutcome{false, usageStatus, message};
}

bool CommandLine::Given(const std::string& name) const
{
    for (const CLI::Option* option : app.get_options())
        if (option->check_name(name))
            return option->count() > 0;
    return false;
}

std::string CommandLine::Usage() const
{
    const std::shared_ptr<CLI::Formatter> formatter = std::dynamic_pointer_cast<CLI::Formatter>(app.get_formatter());
    return formatter ? formatter->make_usage(&app, app.get_name()) : "";
}
