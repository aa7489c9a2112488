#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// What the data tool's commands and the recorder end with, for the batch engines that run
// them: one exit status by cause, the same in every command, and with --json one object on
// standard output that says what was read, what was written, the counts, the warnings, the
// time taken and the status. The text for people stays on standard error.

enum class CommandStatus
{
    Done,        // 0: done (also when the output was up to date and skipped)
    Warnings,    // 1: done, but the flight has warnings (check)
    Usage,       // 64: the command line is wrong
    BadInput,    // 65: the input cannot be used, or a source refused it: never worth a retry
    Transient,   // 75: the network, a full disk, a busy lock: worth a retry
    Interrupted, // 130: a signal stopped it; nothing was left under an output's name
};

const int ExitDone = 0;
const int ExitWarnings = 1;
const int ExitUsage = 64;       // EX_USAGE
const int ExitBadInput = 65;    // EX_DATAERR
const int ExitTransient = 75;   // EX_TEMPFAIL
const int ExitInterrupted = 130; // 128 + SIGINT, as a shell reports it

int ExitStatusOf(CommandStatus status);
// "done", "warnings", "usage", "bad-input", "transient", "interrupted": the JSON's "status".
const char* StatusWord(CommandStatus status);

// From here on SIGINT, SIGTERM and SIGHUP no longer end the process at once: the signal is
// noted for the command to see (StopSignal) at its next step, where it removes what it had
// begun and ends Interrupted. Calls blocked in the kernel return early (EINTR) rather than
// being restarted, so that a wait does not outlast the request to stop.
void CatchStopSignals();
// The signal caught since CatchStopSignals, 0 when none was.
int StopSignal();

// The cause an I/O error number stands for when writing: a full disk or quota, a busy or
// interrupted call are worth a retry; anything else (no permission, no such folder) is not.
CommandStatus WriteFailureStatus(int error);

// For as long as it lives, what the process prints on standard output goes to standard error:
// the lines a command prints for people, where standard output is a caller's (a --json object,
// the folder `world` names).
class StandardOutputToErrors
{
public:
    StandardOutputToErrors();
    ~StandardOutputToErrors() { Restore(); }
    StandardOutputToErrors(const StandardOutputToErrors&) = delete;
    StandardOutputToErrors& operator=(const StandardOutputToErrors&) = delete;
    // Standard output is its own again from here.
    void Restore();

private:
    int saved = -1; // standard output's own descriptor while it goes to standard error
};

class CommandReport
{
public:
    // Starts the clock. `json`: print the object at Finish, and until then send whatever the
    // command prints on standard output (a transcript, a report, the scanner's echo) to
    // standard error, so that the object is all that standard output carries.
    CommandReport(const char* command, bool json);
    CommandReport(const CommandReport&) = delete;
    CommandReport& operator=(const CommandReport&) = delete;

    bool Json() const { return json; }
    // A file read, with its format when known; its size is taken now.
    void Read(const std::string& path, const std::string& format = "");
    // A file written (its size taken now), or a folder.
    void Written(const std::string& path);
    // The output was up to date: nothing was done.
    void Skipped() { skipped = true; }
    void Count(const std::string& name, double value);
    // A warning of a kind ("speed", "gap"), with the sample numbers it concerns.
    void Warning(const std::string& kind, const std::string& message, const std::vector<int32_t>& samples = {});
    // Seconds spent in a named stage; "total" is added at Finish.
    void Timing(const std::string& name, double seconds);
    // A member of the object of the command's own, as JSON text (check's "plan").
    void Section(const std::string& name, const std::string& json);

    // Prints the object when asked for, and returns the exit status of `status`. `message`
    // says why a command failed.
    int Finish(CommandStatus status, const std::string& message = "");
    // The same for a command's own status beside those by cause (world's for a keyword log):
    // `status` gives the word, `exit` the number.
    int Finish(CommandStatus status, int exit, const std::string& message);
    // The object as Finish prints it, without the line end.
    std::string Text(CommandStatus status, int exit, const std::string& message) const;

private:
    struct File
    {
        std::string path;
        std::string format;
        int64_t bytes = -1; // -1: not there
    };
    struct Warned
    {
        std::string kind;
        std::string message;
        std::vector<int32_t> samples;
    };
    std::string command;
    bool json;
    std::unique_ptr<StandardOutputToErrors> toErrors; // with --json, until Finish
    bool skipped = false;
    std::chrono::steady_clock::time_point start;
    std::vector<File> read;
    std::vector<File> written;
    std::vector<std::pair<std::string, double>> counts;
    std::vector<Warned> warnings;
    std::vector<std::pair<std::string, double>> timings;
    std::vector<std::pair<std::string, std::string>> sections;
};

// Whether the command line asks for --json anywhere after the program's name.
bool AsksForJson(int argc, char** argv);
// The end of a command whose command line is not understood: the object when asked for,
// and the usage status.
int UsageFailure(const char* command, bool json, const std::string& message);

// Whether every output exists, is complete (not empty) and is newer than every input: the
// work was done and need not be done again (--skip-existing). False when there is no output.
bool OutputsUpToDate(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);
