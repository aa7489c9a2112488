#include "batch/CommandReport.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

int ExitStatusOf(CommandStatus status)
{
    switch (status)
    {
    case CommandStatus::Done: return ExitDone;
    case CommandStatus::Warnings: return ExitWarnings;
    case CommandStatus::Usage: return ExitUsage;
    case CommandStatus::BadInput: return ExitBadInput;
    case CommandStatus::Transient: return ExitTransient;
    case CommandStatus::Interrupted: return ExitInterrupted;
    }
    return ExitBadInput;
}

const char* StatusWord(CommandStatus status)
{
    switch (status)
    {
    case CommandStatus::Done: return "done";
    case CommandStatus::Warnings: return "warnings";
    case CommandStatus::Usage: return "usage";
    case CommandStatus::BadInput: return "bad-input";
    case CommandStatus::Transient: return "transient";
    case CommandStatus::Interrupted: return "interrupted";
    }
    return "bad-input";
}

static volatile sig_atomic_t stopSignal = 0;

static void OnStopSignal(int signal)
{
    stopSignal = signal;
}

void CatchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

int StopSignal()
{
    return static_cast<int>(stopSignal);
}

CommandStatus WriteFailureStatus(int error)
{
    switch (error)
    {
    case ENOSPC:
    case EDQUOT:
    case EAGAIN:
    case EINTR:
    case EBUSY:
    case EIO:
    case ENOMEM:
    case ETIMEDOUT:
        return CommandStatus::Transient;
    default:
        return CommandStatus::BadInput;
    }
}

static int64_t FileBytes(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return -1;
    return S_ISREG(status.st_mode) ? static_cast<int64_t>(status.st_size) : 0;
}

StandardOutputToErrors::StandardOutputToErrors()
{
    fflush(stdout);
    saved = dup(STDOUT_FILENO);
    if (saved >= 0)
        dup2(STDERR_FILENO, STDOUT_FILENO);
}

void StandardOutputToErrors::Restore()
{
    if (saved < 0)
        return;
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    saved = -1;
}

CommandReport::CommandReport(const char* command, bool json) : command(command), json(json), start(std::chrono::steady_clock::now())
{
    if (json)
        toErrors = std::make_unique<StandardOutputToErrors>();
}

void CommandReport::Read(const std::string& path, const std::string& format)
{
    read.push_back(File{path, format, FileBytes(path)});
}

void CommandReport::Written(const std::string& path)
{
    written.push_back(File{path, "", FileBytes(path)});
}

void CommandReport::Count(const std::string& name, double value)
{
    counts.emplace_back(name, value);
}

void CommandReport::Warning(const std::string& kind, const std::string& message, const std::vector<int32_t>& samples)
{
    warnings.push_back(Warned{kind, message, samples});
}

void CommandReport::Timing(const std::string& name, double seconds)
{
    timings.emplace_back(name, seconds);
}

void CommandReport::Section(const std::string& name, const std::string& json)
{
    sections.emplace_back(name, json);
}

std::string CommandReport::Text(CommandStatus status, int exit, const std::string& message) const
{
    using nlohmann::json;
    json object = json::object();
    object["command"] = command;
    object["status"] = StatusWord(status);
    object["exit"] = exit;
    object["skipped"] = skipped;
    if (!message.empty())
        object["message"] = message;
    auto files = [](const std::vector<File>& list) {
        json array = json::array();
        for (const File& file : list)
        {
            json entry = {{"path", file.path}};
            if (!file.format.empty())
                entry["format"] = file.format;
            if (file.bytes >= 0)
                entry["bytes"] = file.bytes;
            array.push_back(entry);
        }
        return array;
    };
    object["read"] = files(read);
    object["written"] = files(written);
    json countObject = json::object();
    for (const auto& [name, value] : counts)
    {
        // Counts are whole numbers but for a few: written as such.
        if (value == std::floor(value) && std::fabs(value) < 9e15)
            countObject[name] = static_cast<int64_t>(value);
        else
            countObject[name] = value;
    }
    object["counts"] = countObject;
    json warningArray = json::array();
    for (const Warned& warning : warnings)
        warningArray.push_back({{"kind", warning.kind}, {"message", warning.message}, {"samples", warning.samples}});
    object["warnings"] = warningArray;
    json timingObject = json::object();
    for (const auto& [name, seconds] : timings)
        timingObject[name] = seconds;
    timingObject["total"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    object["timings"] = timingObject;
    for (const auto& [name, text] : sections)
    {
        json section = json::parse(text, nullptr, false);
        if (!section.is_discarded())
            object[name] = std::move(section);
    }
    // Paths and messages are bytes from the file system and the logs: what is not UTF-8 is
    // replaced rather than refused.
    return object.dump(-1, ' ', false, json::error_handler_t::replace);
}

int CommandReport::Finish(CommandStatus status, const std::string& message)
{
    return Finish(status, ExitStatusOf(status), message);
}

int CommandReport::Finish(CommandStatus status, int exit, const std::string& message)
{
    if (json)
    {
        toErrors.reset();
        const std::string text = Text(status, exit, message);
        printf("%s\n", text.c_str());
        fflush(stdout);
    }
    return exit;
}

bool AsksForJson(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--json")
            return true;
    return false;
}

int UsageFailure(const char* command, bool json, const std::string& message)
{
    return CommandReport(command, json).Finish(CommandStatus::Usage, message);
}

static bool ModificationTime(const std::string& path, struct timespec* time, off_t* size)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return false;
    *time = status.st_mtim;
    *size = status.st_size;
    return true;
}

static bool Later(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

bool OutputsUpToDate(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs)
{
    if (outputs.empty())
        return false;
    struct timespec newestInput = {0, 0};
    off_t size = 0;
    for (const std::string& input : inputs)
    {
        struct timespec time;
        if (!ModificationTime(input, &time, &size))
            return false;
        if (Later(time, newestInput))
            newestInput = time;
    }
    for (const std::string& output : outputs)
    {
        struct timespec time;
        // Outputs are renamed into place whole, so one that is there is complete; an empty one
        // was never ours.
        if (!ModificationTime(output, &time, &size) || size == 0 || Later(newestInput, time))
            return false;
    }
    return true;
}
