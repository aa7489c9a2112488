#pragma once
#include <functional>
#include <string>

// Video clips whose every frame shows its own number, made with the ffmpeg program, and the
// reader of that number out of any picture of the frame (a still, the panel in a recording):
// the top two thirds hold NumberedClipBits vertical stripes, bit i (least significant first,
// from the left) white when set, black when not; the bottom third is grey.
const int NumberedClipBits = 16;

// Writes `seconds` of `fps` frames at width x height (H.264, yuv420p) to `path`, with
// `creationTime` ("2019-08-25T08:22:54Z") as its metadata's creation time when not empty.
// False when ffmpeg fails.
bool MakeNumberedClip(const std::string& path, double seconds, int fps, int width, int height,
                      const std::string& creationTime = "");

// The frame number shown by a picture whose luminance (0..255) at (u, v) in [0, 1]^2 (u across
// from the left, v down from the top) `luminance` gives; -1 when the grey band is missing or
// some stripe is neither clearly white nor clearly black (no numbered frame there).
int ReadFrameNumber(const std::function<double(double u, double v)>& luminance);
