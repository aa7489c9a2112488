#include "video/ClipDecoder.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace
{
// A decoded frame more than this far behind the clock is left to the key frame before the
// clock instead: a seek costs about a group of pictures' decoding, which is less.
const double LongestDecodeAhead = 2.0; // seconds

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return text;
}

struct FrameDeleter
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
} // namespace

struct ClipDecoder::State
{
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scaler = nullptr;
    AVPacket* packet = nullptr;
    int stream = -1;
    double timeBase = 0.0;  // seconds per tick of the stream's timestamps
    int64_t startTicks = 0; // the first frame's timestamp: clip second 0
    double duration = 0.0;
    double frameRate = 0.0;
    double aspect = 1.0;
    int width = 0;
    int height = 0;

    // The thread's own: the frame at or before the last target and the one after it, decoded.
    FramePtr current;
    FramePtr ahead;
    double currentSeconds = -1.0;
    double aheadSeconds = std::numeric_limits<double>::infinity(); // infinity: the end
    bool ended = false; // the decoder gave its last frame
    bool unscalable = false; // a decoded frame could not be turned into RGB: published as `failed`

    std::mutex lock;
    std::condition_variable asked;
    std::condition_variable answered;
    double target = -1.0;
    uint64_t requests = 0; // counts Request and FrameAt calls
    uint64_t served = 0;   // the request the published frame answers
    uint64_t taken = 0;    // the published frame Take gave last
    ClipFrame published;
    bool stop = false;
    bool failed = false;
    double decodeSeconds = 0.0;
    std::atomic<int64_t> framesDecoded{0}; // counted on the thread, read on any
    std::thread thread;

    ~State()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            stop = true;
        }
        asked.notify_all();
        if (thread.joinable())
            thread.join();
        sws_freeContext(scaler);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    double SecondsOf(const AVFrame& frame) const
    {
        int64_t ticks = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
        return ticks == AV_NOPTS_VALUE ? 0.0 : (ticks - startTicks) * timeBase;
    }

    // The next frame in decoding order, or null at the end or on an error.
    FramePtr Decode()
    {
        FramePtr frame(av_frame_alloc());
        for (;;)
        {
            int got = avcodec_receive_frame(codec, frame.get());
            if (got == 0)
            {
                ++framesDecoded;
                return frame;
            }
            if (got != AVERROR(EAGAIN))
                return nullptr; // the end, drained, or a fault
            int read = av_read_frame(format, packet);
            if (read < 0)
            {
                avcodec_send_packet(codec, nullptr); // drain what the decoder holds
                continue;
            }
            if (packet->stream_index == stream)
                avcodec_send_packet(codec, packet); // a damaged packet is passed over
            av_packet_unref(packet);
        }
    }

    void Seek(double seconds)
    {
        const int64_t ticks = startTicks + static_cast<int64_t>(std::floor(seconds / timeBase));
        av_seek_frame(format, stream, ticks, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(codec);
        current.reset();
        ahead.reset();
        currentSeconds = -1.0;
        aheadSeconds = std::numeric_limits<double>::infinity();
        ended = false;
    }

    // Moves `current` to the frame shown at `seconds` (inside the clip).
    void MoveTo(double seconds)
    {
        if (current ? seconds < currentSeconds || seconds > currentSeconds + LongestDecodeAhead : seconds > LongestDecodeAhead)
            Seek(seconds);
        for (;;)
        {
            if (!ahead && !ended)
            {
                ahead = Decode();
                ended = !ahead;
                aheadSeconds = ahead ? SecondsOf(*ahead) : std::numeric_limits<double>::infinity();
            }
            if (!ahead || (current && aheadSeconds > seconds))
                return; // the last frame, or the one before the next that is due
            current = std::move(ahead);
            currentSeconds = aheadSeconds;
            aheadSeconds = std::numeric_limits<double>::infinity();
            if (currentSeconds > seconds)
                return; // the first frame after a seek lies past the time: the nearest there is
        }
    }

    ClipFrame Picture(double seconds)
    {
        ClipFrame frame;
        if (!(seconds >= 0.0 && seconds < duration))
            return frame;
        MoveTo(seconds);
        if (!current)
            return frame;
        frame.inside = true;
        frame.seconds = currentSeconds;
        frame.until = ended && !ahead ? duration : std::min(aheadSeconds, duration);
        frame.width = width;
        frame.height = height;
        frame.rgb.resize(static_cast<size_t>(width) * height * 3);
        scaler = sws_getCachedContext(scaler, current->width, current->height, static_cast<AVPixelFormat>(current->format), width, height,
                                      AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler)
        {
            unscalable = true;
            frame.inside = false;
            return frame;
        }
        uint8_t* planes[1] = {frame.rgb.data()};
        int strides[1] = {width * 3};
        sws_scale(scaler, current->data, current->linesize, 0, current->height, planes, strides);
        return frame;
    }

    void Run()
    {
        std::unique_lock<std::mutex> hold(lock);
        for (;;)
        {
            asked.wait(hold, [this] { return stop || requests != served; });
            if (stop)
                return;
            const uint64_t request = requests;
            const double seconds = target;
            hold.unlock();
            const auto began = std::chrono::steady_clock::now();
            ClipFrame frame = Picture(seconds);
            const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            hold.lock();
            decodeSeconds += spent;
            published = std::move(frame);
            failed = unscalable;
            served = request;
            answered.notify_all();
        }
    }
};

ClipDecoder::ClipDecoder(std::unique_ptr<State> state) : state(std::move(state)) {}

ClipDecoder::~ClipDecoder() = default;

std::unique_ptr<ClipDecoder> ClipDecoder::Open(const std::string& path, int maxWidth, std::string* error)
{
    av_log_set_level(AV_LOG_QUIET);
    auto state = std::make_unique<State>();
    if (int opened = avformat_open_input(&state->format, path.c_str(), nullptr, nullptr); opened < 0)
    {
        *error = "cannot be read as a video (" + AvError(opened) + ")";
        return nullptr;
    }
    if (int found = avformat_find_stream_info(state->format, nullptr); found < 0)
    {
        *error = "cannot be read as a video (" + AvError(found) + ")";
        return nullptr;
    }
    const AVCodec* codec = nullptr;
    state->stream = av_find_best_stream(state->format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (state->stream < 0 || !codec)
    {
        *error = state->stream == AVERROR_DECODER_NOT_FOUND ? "holds a video stream that cannot be decoded here" : "holds no video stream";
        return nullptr;
    }
    AVStream* stream = state->format->streams[state->stream];
    state->codec = avcodec_alloc_context3(codec);
    if (!state->codec || avcodec_parameters_to_context(state->codec, stream->codecpar) < 0)
    {
        *error = "holds a video stream that cannot be decoded here";
        return nullptr;
    }
    state->codec->thread_count = 2;
    if (int opened = avcodec_open2(state->codec, codec, nullptr); opened < 0)
    {
        *error = "holds a video stream that cannot be decoded here (" + AvError(opened) + ")";
        return nullptr;
    }
    if (stream->codecpar->width <= 0 || stream->codecpar->height <= 0)
    {
        *error = "holds a video stream without a picture size";
        return nullptr;
    }
    state->packet = av_packet_alloc();
    state->timeBase = av_q2d(stream->time_base);
    state->startTicks = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    state->frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
        state->duration = stream->duration * state->timeBase;
    else if (state->format->duration > 0)
        state->duration = static_cast<double>(state->format->duration) / AV_TIME_BASE;
    if (!(state->duration > 0.0))
    {
        *error = "holds a video stream of no length";
        return nullptr;
    }
    const AVRational pixel = av_guess_sample_aspect_ratio(state->format, stream, nullptr);
    const double pixelShape = pixel.num > 0 && pixel.den > 0 ? av_q2d(pixel) : 1.0;
    state->aspect = stream->codecpar->width * pixelShape / stream->codecpar->height;
    state->width = std::min(std::max(maxWidth, 16), stream->codecpar->width) & ~1;
    state->height = std::max(2, static_cast<int>(std::lround(state->width / state->aspect)) & ~1);
    State* running = state.get();
    state->thread = std::thread([running] { running->Run(); });
    return std::unique_ptr<ClipDecoder>(new ClipDecoder(std::move(state)));
}

double ClipDecoder::Duration() const { return state->duration; }
double ClipDecoder::FrameRate() const { return state->frameRate; }
int ClipDecoder::Width() const { return state->width; }
int ClipDecoder::Height() const { return state->height; }
double ClipDecoder::Aspect() const { return state->aspect; }

void ClipDecoder::Request(double seconds)
{
    {
        std::lock_guard<std::mutex> hold(state->lock);
        if (seconds == state->target && state->requests != 0)
            return;
        state->target = seconds;
        ++state->requests;
    }
    state->asked.notify_one();
}

bool ClipDecoder::Take(ClipFrame* frame)
{
    std::lock_guard<std::mutex> hold(state->lock);
    if (state->served == 0 || state->served == state->taken)
        return false;
    state->taken = state->served;
    *frame = state->published;
    return true;
}

bool ClipDecoder::FrameAt(double seconds, ClipFrame* frame)
{
    std::unique_lock<std::mutex> hold(state->lock);
    state->target = seconds;
    const uint64_t request = ++state->requests;
    state->asked.notify_one();
    state->answered.wait(hold, [this, request] { return state->served >= request; });
    state->taken = state->served;
    *frame = state->published;
    return !state->failed;
}

double ClipDecoder::DecodeSeconds() const
{
    std::lock_guard<std::mutex> hold(state->lock);
    return state->decodeSeconds;
}

int64_t ClipDecoder::FramesDecoded() const
{
    return state->framesDecoded.load();
}
