#pragma once
#include <string>
#include <vector>

#include "player/PlayerOptions.h"
#include "record/RecordingCamera.h"

struct CommandLineOutcome; // cli/CommandLine.h, which the code that parses includes

// The player's recording options: with --record it renders the flight to a video file (or
// to numbered PNG frames) instead of opening a window.
//
//   flightreplay-player LOG|FLIGHT... [--samples LIST] --record OUT.mp4
//       [--camera WORD] [--size WxH] [--fps N] [--speed X] [--from T|+S] [--to T|+S] [--no-hud]
//       [--json] [--skip-existing] [--plot LIST] [--colour-track WHAT] [--align WHEN]
//       [--plan FILE] [--airspace FILE]
//
// with WORD one of the cameras' table (RecordingCamera.h). The last five (PlayerOptions.h)
// are the player's own too: they need no --record.

struct RecordOptions
{
    bool record = false;   // --record was given: everything below applies
    std::string output;    // the file, or with a trailing '/' the folder of PNG frames
    const RecordCameraKind* camera = &RecordCameraKinds().front(); // a row of the table, never null
    int width = 1280;
    int height = 720;
    int fps = 30;
    double speed = 3.0;    // times the recorded speed
    // --from and --to: the selected flight's log time (gps_time), seconds, with one flight or
    // several; or written +S (sinceStart), S seconds after the first moment of the replay's
    // clock (ClockTimeOfMoment, FrameSchedule.h).
    bool hasFrom = false;
    double from = 0.0;
    bool fromSinceStart = false;
    bool hasTo = false;
    double to = 0.0;
    bool toSinceStart = false;
    bool hud = true;
    bool json = false;         // the summary as one JSON object on stdout (CommandReport), the rest on stderr
    bool skipExisting = false; // nothing to do when the output is newer than the logs
    PlayerViewOptions view;
};

const int LargestFrameSide = 8192;
const int LargestFps = 240;

// Adds the recording options to the player's command line (cli/CommandLine.h), beside the
// player's own (AddPlayerOptions), to fill `options` as it parses.
void AddRecordOptions(CommandLine& line, RecordOptions* options);

// Reads the player's whole command line (argv[0] is the program's name): the player's
// options and the recorder's on top, with the shared conventions of cli/CommandLine.h. On
// success `player` holds the flights and --samples, `options` the recording options, and both
// the view. With --record on the line its messages start "record:" and a usage error ends
// with ExitUsage, the batch commands' status; without it "player:" and PlayerUsageStatus.
// Recording options without --record are a usage error, as is any option given twice.
CommandLineOutcome ParsePlayerCommandLine(int argc, char** argv, PlayerOptions* player, RecordOptions* options);

// The output names a folder of frames: it ends with '/'.
bool RecordsFrames(const RecordOptions& options);
