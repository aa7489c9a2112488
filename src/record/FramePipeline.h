#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class VideoOutput;

// Hands frames from the drawing thread to the output. Threaded, a writer thread of its own
// passes them to the output while the next frames are drawn, through a few buffers in turn;
// the drawing waits only when all of them are still being written. Otherwise each frame is
// written before Put returns.
//
// Frames reach the output in the order they were put, every one, until a write fails;
// after that the rest are dropped and Failed() is true.
class FramePipeline
{
public:
    FramePipeline(VideoOutput* output, size_t frameBytes, bool threaded);
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    // A buffer of frameBytes to draw the next frame into.
    uint8_t* Take();
    // Gives back a buffer from Take, filled.
    void Put(uint8_t* frame);
    // Waits until every frame put is written (or dropped) and ends the writer thread. False
    // when a write failed. Calling it again changes nothing.
    bool Drain();

    bool Failed() const;
    // Seconds that Take and Put spent waiting for the output: what the encoder costs the
    // drawing.
    double WaitSeconds() const { return waited; }

private:
    void WriteFrames();

    VideoOutput* output;
    bool threaded;
    std::vector<std::vector<uint8_t>> buffers;
    std::deque<uint8_t*> free;
    std::deque<uint8_t*> full;
    mutable std::mutex lock;
    std::condition_variable changed;
    bool failed = false;
    bool closing = false;
    double waited = 0.0;
    std::thread writer;
};
