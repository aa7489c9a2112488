#include "record/RecordOptions.h"

#include <cfloat>
#include <cstring>

#include "batch/CommandReport.h"
#include "cli/CommandLine.h"
#include "player/PlaybackClock.h"

bool RecordsFrames(const RecordOptions& options)
{
    return !options.output.empty() && options.output.back() == '/';
}

// A log time, or "+S": S seconds (not negative) from the start.
static bool ReadMoment(const std::string& text, double* value, bool* sinceStart)
{
    *sinceStart = !text.empty() && text[0] == '+';
    const std::string number = text.substr(*sinceStart ? 1 : 0);
    if (*sinceStart && (number.empty() || number[0] == '+' || number[0] == '-'))
        return false;
    return ReadNumber(number, *sinceStart ? 0.0 : -DBL_MAX, DBL_MAX, value);
}

static bool ReadSize(const std::string& text, int* width, int* height)
{
    const size_t x = text.find('x');
    long long w = 0, h = 0;
    if (x == std::string::npos || !ReadWholeNumber(text.substr(0, x), 16, LargestFrameSide, &w) || !ReadWholeNumber(text.substr(x + 1), 16, LargestFrameSide, &h))
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

// The recording options, in the order the help lists them.
static const char* const RecordingOptionNames[] = {"--record", "--camera", "--size", "--fps", "--speed", "--from", "--to", "--no-hud", "--json", "--skip-existing"};

void AddRecordOptions(CommandLine& line, RecordOptions* options)
{
    const char* const moment = "a log time in seconds, or +SECONDS from the start of the replay";
    line.Checked(
        "--record", "OUT.mp4|FOLDER/", "a file name, or a folder ending in '/'",
        [options](const std::string& text, std::string*) {
            options->record = true;
            options->output = text;
            return !text.empty();
        },
        "render the flight to this video (H.264; the container follows the extension), or to numbered PNG frames in FOLDER/, instead of opening a window");
    std::string cameras = "the camera: ";
    for (const RecordCameraKind& kind : RecordCameraKinds())
        cameras += std::string(&kind == &RecordCameraKinds().front() ? "" : "; ") + kind.word + ", " + kind.description;
    line.Checked(
        "--camera", RecordCameraWords("|", "|"), RecordCameraWords(", ", " or "),
        [options](const std::string& text, std::string*) {
            const RecordCameraKind* camera = FindRecordCamera(text);
            if (camera)
                options->camera = camera;
            return camera != nullptr;
        },
        cameras + " (default " + RecordCameraKinds().front().word + ")");
    line.Checked(
        "--size", "WxH", "WIDTHxHEIGHT, each a whole number from 16 to " + std::to_string(LargestFrameSide),
        [options](const std::string& text, std::string*) { return ReadSize(text, &options->width, &options->height); }, "the frame's size in pixels, even sides for a video (default 1280x720)");
    line.Whole("--fps", "N", 1, LargestFps, &options->fps, "frames a second of video (default 30)");
    line.Number("--speed", "X", SlowestSpeed, FastestSpeed, &options->speed, "times the recorded speed (default 3)");
    line.Checked(
        "--from", "T|+S", moment,
        [options](const std::string& text, std::string*) { return options->hasFrom = ReadMoment(text, &options->from, &options->fromSinceStart); },
        "the first moment to record: the selected flight's log time (gps_time, seconds), or +S seconds after the replay's first sample (default the whole flight)");
    line.Checked(
        "--to", "T|+S", moment, [options](const std::string& text, std::string*) { return options->hasTo = ReadMoment(text, &options->to, &options->toSinceStart); },
        "the last moment to record, as --from; the same time as --from gives one frame, a still");
    line.Flag("--no-hud", [options] { options->hud = false; }, "leave the display off (the data's credits stay, and so does the legend of several flights)");
    line.Json(&options->json);
    line.SkipExisting(&options->skipExisting, "OUT is newer than every flight");
}

CommandLineOutcome ParsePlayerCommandLine(int argc, char** argv, PlayerOptions* player, RecordOptions* options)
{
    *player = PlayerOptions();
    *options = RecordOptions();
    // A recording is a batch job, with the batch commands' status for a usage error; the
    // window's run keeps the replay's.
    bool recording = false;
    for (int i = 1; i < argc; ++i)
        recording = recording || strcmp(argv[i], "--record") == 0 || strncmp(argv[i], "--record=", 9) == 0;
    const char* program = argc > 0 && argv[0] ? argv[0] : "flightreplay-player";
    CommandLine line(recording ? "record" : "player", program,
                     "The replay with a transport (pause, speed, seek, stepping) and a heads-up display; with --record it renders the flight to a video instead of opening a window.",
                     recording ? ExitUsage : PlayerUsageStatus);
    AddPlayerOptions(line, player);
    AddRecordOptions(line, options);
    line.App().footer("The recording options (--camera to --skip-existing) need --record; --plot, --colour-track, --align, --plan and --airspace are the player's own too.");
    CommandLineOutcome outcome = line.Parse(argc, argv, 1);
    if (!outcome.run)
        return outcome;
    options->view = player->view;
    if (!options->record)
        for (const char* name : RecordingOptionNames)
            if (line.Given(name))
                return line.Refuse(std::string(name) + " needs --record");
    if (options->hasFrom && options->hasTo && options->fromSinceStart == options->toSinceStart && options->from > options->to)
        return line.Refuse("--from must not lie after --to (the same time gives one frame)");
    // The encoder halves the colour planes: a video's sides are even.
    if (options->record && !RecordsFrames(*options) && (options->width % 2 != 0 || options->height % 2 != 0))
        return line.Refuse("--size " + std::to_string(options->width) + "x" + std::to_string(options->height) + ": a video needs an even width and height");
    return outcome;
}
