#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

// Where a recording's frames go. Frames arrive as read back from the graphics context:
// width x height pixels of 8-bit RGB, rows from the bottom up, no padding.
//
// Everything is written under a temporary name beside the output and renamed onto it only
// when the last frame is in: an interrupted or failed render never leaves a file or folder
// under the name asked for, so nothing that looks complete is ever half written.
class VideoOutput
{
public:
    virtual ~VideoOutput() = default;
    // False when the frame could not be written; Error() says why.
    virtual bool Write(const uint8_t* pixels) = 0;
    // Finishes the output and gives it its name. False, with Error(), when that failed; the
    // temporary output is then removed.
    virtual bool Finish() = 0;
    // Removes whatever was written, for an interrupted render.
    virtual void Abandon() = 0;
    const std::string& Error() const { return error; }
    // The name the output has once finished.
    const std::string& Path() const { return path; }

protected:
    std::string error;
    std::string path;
};

// The ffmpeg program on the PATH, or empty.
std::string FindFfmpeg();

// An H.264 video in an MP4 (or another container that ffmpeg knows by the name's
// extension), encoded by `ffmpeg` reading raw frames from a pipe. Null, with `error`, when
// ffmpeg could not be started.
std::unique_ptr<VideoOutput> OpenVideo(const std::string& ffmpeg, const std::string& path, int width, int height, int fps,
                                       std::string* error);

// Numbered PNG frames, frame-000001.png on, in the folder `folder` (made when missing; one
// that already holds files is refused). Null, with `error`, when it cannot be used.
std::unique_ptr<VideoOutput> OpenFrameFolder(const std::string& folder, int width, int height, std::string* error);

// The temporary name of a video being written to `path`: ".partial" before the extension,
// so that ffmpeg still knows the container by it (out/demo.mp4 -> out/demo.partial.mp4).
std::string PartialVideoName(const std::string& path);

// The folder of frames written instead of a video when there is no encoder: the video's
// name without its extension, and "-frames/" (out/demo.mp4 -> out/demo-frames/).
std::string FrameFolderBeside(const std::string& video);

// The threads a recording may use, from FLIGHTREPLAY_THREADS (a whole number from 1 to 256),
// for a worker given a share of a machine: the encoder's threads and the terrain's loading
// threads are held to it. 0 when the variable is unset or no such number: as many as suit.
const char* const RecordThreadsVariable = "FLIGHTREPLAY_THREADS";
int RecordThreads();
