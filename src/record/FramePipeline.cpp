#include "record/FramePipeline.h"

#include <chrono>

#include "record/VideoOutput.h"

// Three: one being drawn, one being written, one ready in between.
const size_t ThreadedBuffers = 3;

static double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

FramePipeline::FramePipeline(VideoOutput* output, size_t frameBytes, bool threaded)
    : output(output), threaded(threaded), buffers(threaded ? ThreadedBuffers : 1, std::vector<uint8_t>(frameBytes))
{
    for (std::vector<uint8_t>& buffer : buffers)
        free.push_back(buffer.data());
    if (threaded)
        writer = std::thread(&FramePipeline::WriteFrames, this);
}

FramePipeline::~FramePipeline()
{
    Drain();
}

uint8_t* FramePipeline::Take()
{
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> held(lock);
    changed.wait(held, [this] { return !free.empty(); });
    uint8_t* frame = free.front();
    free.pop_front();
    waited += Since(start);
    return frame;
}

void FramePipeline::Put(uint8_t* frame)
{
    if (!threaded)
    {
        const auto start = std::chrono::steady_clock::now();
        if (!failed && !output->Write(frame))
            failed = true;
        free.push_back(frame);
        waited += Since(start);
        return;
    }
    {
        std::lock_guard<std::mutex> held(lock);
        full.push_back(frame);
    }
    changed.notify_all();
}

void FramePipeline::WriteFrames()
{
    std::unique_lock<std::mutex> held(lock);
    for (;;)
    {
        changed.wait(held, [this] { return !full.empty() || closing; });
        if (full.empty())
            return; // closing, and everything is written
        uint8_t* frame = full.front();
        full.pop_front();
        const bool skip = failed;
        held.unlock();
        const bool written = skip || output->Write(frame);
        held.lock();
        if (!written)
            failed = true;
        free.push_back(frame);
        changed.notify_all();
    }
}

bool FramePipeline::Drain()
{
    if (writer.joinable())
    {
        {
            std::lock_guard<std::mutex> held(lock);
            closing = true;
        }
        changed.notify_all();
        writer.join();
    }
    return !Failed();
}

bool FramePipeline::Failed() const
{
    std::lock_guard<std::mutex> held(lock);
    return failed;
}
