// What the video panel's decoder costs: every frame of a clip in turn, as a recording asks for
// them (each waited for), scaled to the panel's width. Prints one line:
//
//   frames=N wall_ms_per_frame=W cpu_ms_per_frame=C decoder_ms_per_frame=D
//
// CPU time is the whole process's (the decoder's threads included); the decoder's own is the
// time its thread spent decoding and scaling.
//
//   flightreplay-clipdecode CLIP
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "player/VideoPanel.h"
#include "video/ClipDecoder.h"

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: flightreplay-clipdecode CLIP\n");
        return 2;
    }
    std::string error;
    std::unique_ptr<ClipDecoder> clip = ClipDecoder::Open(argv[1], VideoDecodeWidth, &error);
    if (!clip)
    {
        fprintf(stderr, "flightreplay-clipdecode: %s %s\n", argv[1], error.c_str());
        return 1;
    }
    const double step = 1.0 / (clip->FrameRate() > 0.0 ? clip->FrameRate() : 30.0);
    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    int64_t frames = 0;
    ClipFrame frame;
    const int64_t count = static_cast<int64_t>(clip->Duration() / step + 1e-6);
    for (; frames < count; ++frames)
        if (const double t = frames * step; !clip->FrameAt(t + step / 2, &frame) || !frame.inside)
        {
            fprintf(stderr, "flightreplay-clipdecode: no frame at %.3f s\n", t);
            return 1;
        }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    printf("frames=%lld wall_ms_per_frame=%.2f cpu_ms_per_frame=%.2f decoder_ms_per_frame=%.2f\n", static_cast<long long>(frames), 1000 * wall / frames,
           1000 * cpu / frames, 1000 * clip->DecodeSeconds() / frames);
    return 0;
}
