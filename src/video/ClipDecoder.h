#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The frames of a video clip, decoded on a thread of their own (libavformat and libavcodec,
// scaled to RGB by libswscale), for a panel that shows the clip on a clock.
//
// Clip seconds count from the clip's first frame. The frame shown at a clip second t is the
// one whose presentation time is the last at or before t; before the first frame and from
// the end of the last one on, none is. The decoder moves forward frame by frame while the
// clock does, and seeks (to the key frame before, decoding on to the frame asked for) when
// the clock goes back or far ahead, so the frame it gives for t is the same whichever way
// it got there.

struct ClipFrame
{
    bool inside = false;  // false: t lies outside the clip, and there is no picture
    double seconds = 0.0; // the frame's presentation time
    double until = 0.0;   // the next frame's, or the clip's end
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // width * height * 3 bytes, the top row first
};

class ClipDecoder
{
public:
    // Opens `path` and starts its thread; frames are scaled to at most `maxWidth` pixels across,
    // keeping the picture's shape. Null, with *error a line saying why (naming no file), when
    // the file cannot be read as a video or holds no video stream that can be decoded.
    static std::unique_ptr<ClipDecoder> Open(const std::string& path, int maxWidth, std::string* error);
    ~ClipDecoder();
    ClipDecoder(const ClipDecoder&) = delete;
    ClipDecoder& operator=(const ClipDecoder&) = delete;

    double Duration() const; // seconds, to the end of the last frame
    double FrameRate() const; // frames a second, as the stream states it (0 when it does not)
    int Width() const;       // of the frames it gives
    int Height() const;
    // The picture's width over its height as shown (the pixels' own shape counted).
    double Aspect() const;

    // Asks for the frame at clip second `seconds` and returns at once; the thread decodes
    // towards it, dropping any earlier request.
    void Request(double seconds);
    // The frame for the most recent request that the thread has answered, when it is another
    // than the one taken last (true); false while nothing new has come.
    bool Take(ClipFrame* frame);
    // Waits for the frame at `seconds` and gives it: for a recording, which must show the same
    // frames on every machine. False only when the decoder has stopped on an error.
    bool FrameAt(double seconds, ClipFrame* frame);
    // Seconds the thread spent decoding and scaling, and the frames it decoded, so far.
    double DecodeSeconds() const;
    int64_t FramesDecoded() const;

    struct State;

private:
    explicit ClipDecoder(std::unique_ptr<State> state);
    std::unique_ptr<State> state;
};
