#pragma once

// flightreplay-data sync LOG CLIP [--json]
// Lines the clip up with the flight and writes ClipSyncPath(CLIP) (video/ClipSync.h): by the
// clip's telemetry subtitles beside it (STEM.SRT or STEM.srt) fitted to the flight's track,
// else by the clip's creation time against the log's time of day. Exit status 0 written; 65
// for no fit, an ambiguous fit or input it cannot use, nothing written then. argv[1] is "sync".
int RunSyncCommand(int argc, char** argv);

// flightreplay-data subtitles LOG --out FILE.srt|FILE.ass [--for CLIP] [--json]
// The flight's figures as subtitles, a cue a second (or a row, where rows are sparser): the
// time of day, altitude, height above the drawn ground of the tiles in the working directory,
// ground speed, climb, the flight mode and the nearest event. With --for, on the clip's
// clock through the sync beside it, and only within the clip. argv[1] is "subtitles".
int RunSubtitlesCommand(int argc, char** argv);
