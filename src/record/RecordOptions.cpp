#include "record/RecordOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "player/PlaybackClock.h"

const char* RecordUsage()
{
    static const std::string usage = "usage: flightreplay-player LOG|FLIGHT... [--samples LIST] --record OUT.mp4|FOLDER/\n"
                                     "           [--camera " + RecordCameraWords("|", "|") +
                                     "] [--size WxH] [--fps N] [--speed X] [--from T|+S] [--to T|+S] [--no-hud]\n"
                                     "           [--json] [--skip-existing]\n" + PlayerViewUsage();
    return usage.c_str();
}

bool RecordsFrames(const RecordOptions& options)
{
    return !options.output.empty() && options.output.back() == '/';
}

// The whole text is one finite number.
static bool ReadNumber(const char* text, double* value)
{
    errno = 0;
    char* end = nullptr;
    const double number = strtod(text, &end);
    if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

// A log time, or "+S": S seconds (not negative) from the start.
static bool ReadMoment(const char* text, double* value, bool* sinceStart)
{
    *sinceStart = text[0] == '+';
    return ReadNumber(text + (*sinceStart ? 1 : 0), value) && (!*sinceStart || (*value >= 0.0 && text[1] != '+' && text[1] != '-'));
}

static bool ReadWhole(const char* text, long lowest, long highest, int* value)
{
    errno = 0;
    char* end = nullptr;
    const long number = strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE || number < lowest || number > highest)
        return false;
    *value = static_cast<int>(number);
    return true;
}

static bool ReadSize(const char* text, int* width, int* height)
{
    const char* x = strchr(text, 'x');
    if (!x)
        return false;
    const std::string left(text, x);
    return ReadWhole(left.c_str(), 16, LargestFrameSide, width) && ReadWhole(x + 1, 16, LargestFrameSide, height);
}

bool ParseRecordOptions(int argc, char** argv, RecordOptions* options, std::vector<const char*>* flightArguments, std::string* error)
{
    *options = RecordOptions();
    flightArguments->clear();
    std::vector<std::string> seen;
    bool anyOption = false;
    for (int i = 1; i < argc; ++i)
    {
        const char* arg = argv[i];
        const bool flag = strcmp(arg, "--no-hud") == 0 || strcmp(arg, "--json") == 0 || strcmp(arg, "--skip-existing") == 0;
        const bool valued = (strcmp(arg, "--record") == 0 || strcmp(arg, "--camera") == 0 || strcmp(arg, "--size") == 0 ||
                             strcmp(arg, "--fps") == 0 || strcmp(arg, "--speed") == 0 || strcmp(arg, "--from") == 0 ||
                             strcmp(arg, "--to") == 0);
        const bool view = IsPlayerViewOption(arg);
        if (!flag && !valued && !view)
        {
            flightArguments->push_back(argv[i]);
            continue;
        }
        for (const std::string& earlier : seen)
            if (earlier == arg)
            {
                *error = std::string(arg) + " is given twice";
                return false;
            }
        seen.push_back(arg);
        anyOption = anyOption || !view;
        if (flag)
        {
            if (strcmp(arg, "--json") == 0)
                options->json = true;
            else if (strcmp(arg, "--skip-existing") == 0)
                options->skipExisting = true;
            else
                options->hud = false;
            continue;
        }
        if (i + 1 >= argc)
        {
            *error = std::string(arg) + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        if (view)
        {
            if (!ReadPlayerViewOption(arg, value, &options->view, error))
                return false;
            continue;
        }
        bool good = true;
        if (strcmp(arg, "--record") == 0)
        {
            options->record = true;
            options->output = value;
            good = !options->output.empty();
        }
        else if (strcmp(arg, "--camera") == 0)
        {
            const RecordCameraKind* camera = FindRecordCamera(value);
            good = camera != nullptr;
            if (good)
                options->camera = camera;
        }
        else if (strcmp(arg, "--size") == 0)
            good = ReadSize(value, &options->width, &options->height);
        else if (strcmp(arg, "--fps") == 0)
            good = ReadWhole(value, 1, LargestFps, &options->fps);
        else if (strcmp(arg, "--speed") == 0)
            good = ReadNumber(value, &options->speed) && options->speed >= SlowestSpeed && options->speed <= FastestSpeed;
        else if (strcmp(arg, "--from") == 0)
            good = options->hasFrom = ReadMoment(value, &options->from, &options->fromSinceStart);
        else
            good = options->hasTo = ReadMoment(value, &options->to, &options->toSinceStart);
        if (!good)
        {
            *error = std::string(arg) + " '" + value + "': ";
            if (strcmp(arg, "--record") == 0)
                *error += "needs a file name, or a folder ending in '/'";
            else if (strcmp(arg, "--camera") == 0)
                *error += "is " + RecordCameraWords(", ", " or ");
            else if (strcmp(arg, "--size") == 0)
                *error += "is WIDTHxHEIGHT, each from 16 to " + std::to_string(LargestFrameSide) + " pixels";
            else if (strcmp(arg, "--fps") == 0)
                *error += "is a whole number of frames a second, 1 to " + std::to_string(LargestFps);
            else if (strcmp(arg, "--speed") == 0)
                *error += "is a number from 0.25 to 64 (times the recorded speed)";
            else
                *error += "is a log time in seconds, or +SECONDS from the start of the replay";
            return false;
        }
    }
    if (anyOption && !options->record)
    {
        *error = "the recording options need --record";
        return false;
    }
    if (options->hasFrom && options->hasTo && options->fromSinceStart == options->toSinceStart && options->from > options->to)
    {
        *error = "--from must not lie after --to (the same time gives one frame)";
        return false;
    }
    // The encoder halves the colour planes: a video's sides are even.
    if (options->record && !RecordsFrames(*options) && (options->width % 2 != 0 || options->height % 2 != 0))
    {
        *error = "--size " + std::to_string(options->width) + "x" + std::to_string(options->height) +
                 ": a video needs an even width and height";
        return false;
    }
    return true;
}
