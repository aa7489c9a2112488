#include "record/FlightRecorder.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include <osg/GL>
#include <osg/GraphicsContext>
#include <osg/MatrixTransform>
#include <osgViewer/Viewer>

#include "record/FramePipeline.h"
#include "record/FrameSchedule.h"
#include "player/PlayerDisplay.h"
#include "player/PlayerSession.h"
#include "record/RecordingCamera.h"
#include "record/VideoOutput.h"
#include "geo/MapFrame.h"
#include "log/SampleTable.h"
#include "terrain/TerrainHeight.h"
#include "viewer/PrivateDisplay.h"
#include "viewer/SceneAssembly.h"
#include "viewer/WindowingSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

// The vertical field of view of every camera, degrees.
const double FieldOfView = 40.0;

volatile sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal)
{
    stopSignal = signal;
}

void CatchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A failed encoder is reported by the failed write, not by the default's silent end.
    signal(SIGPIPE, SIG_IGN);
}

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// m:ss, or h:mm:ss from an hour on.
std::string Clocked(double seconds)
{
    const long whole = std::lround(std::max(seconds, 0.0));
    char text[32];
    if (whole >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// One line on standard error: in place on a terminal, else a new line every tenth.
class RenderProgress
{
public:
    explicit RenderProgress(int64_t total) : total(total), start(Clock::now()), terminal(isatty(2) != 0) {}

    void Done(int64_t done)
    {
        const int tenth = static_cast<int>(done * 10 / total);
        const double now = Since(start);
        if (terminal ? now - shown < 0.25 && done < total : tenth == lastTenth)
            return;
        shown = now;
        lastTenth = tenth;
        const double rate = now > 0.0 ? done / now : 0.0;
        const std::string left = rate > 0.0 ? Clocked((total - done) / rate) : "?";
        fprintf(stderr, "%sframe %lld of %lld (%d %%), %.1f frames/s, %s left%s", terminal ? "\r" : "",
                static_cast<long long>(done), static_cast<long long>(total), static_cast<int>(done * 100 / total), rate,
                left.c_str(), terminal ? "   " : "\n");
        if (terminal && done == total)
            fputc('\n', stderr);
    }

    // Ends a line left open on a terminal.
    void Break()
    {
        if (terminal && shown >= 0.0)
            fputc('\n', stderr);
    }

    double Seconds() const { return Since(start); }

private:
    int64_t total;
    Clock::time_point start;
    bool terminal;
    double shown = -1.0;
    int lastTenth = 0;
};

// Reads the finished frame back into the pipeline: the final draw of the last camera.
class ReadBack : public osg::Camera::DrawCallback
{
public:
    ReadBack(FramePipeline* pipeline, int width, int height) : pipeline(pipeline), width(width), height(height) {}

    void operator()(osg::RenderInfo&) const override
    {
        uint8_t* frame = pipeline->Take();
        // A software renderer draws when it must; finishing first keeps the drawing's time
        // out of the read-back's.
        glFinish();
        const Clock::time_point start = Clock::now();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame);
        readSeconds += Since(start);
        pipeline->Put(frame);
    }

    mutable double readSeconds = 0.0;

private:
    FramePipeline* pipeline;
    int width;
    int height;
};

// The height of the drawn ground under a frame point, in frame units; far below everything
// where no tile covers it.
double GroundUnder(double x, double y)
{
    const TerrainHeight ground = TerrainHeightAtGrid(MapFrame.CI + x, MapFrame.CJ + y);
    return ground.covered ? ground.metres * MapFrame.k : -1e30;
}

// The loaded flight as the camera sees it: the aircraft where the player's scene puts it,
// over the ground as drawn.
CameraSubject LoadedFlight(double rowSeconds)
{
    CameraSubject subject;
    subject.rows = SampleTable.rowCount;
    subject.rowSeconds = rowSeconds;
    subject.unitsPerMetre = MapFrame.k;
    subject.aircraftAt = AircraftMatrixAt;
    subject.groundUnder = GroundUnder;
    return subject;
}

// Where the output goes: the folder of frames asked for, a video, or without ffmpeg a
// folder of frames beside the video's name.
std::unique_ptr<VideoOutput> OpenOutput(const RecordOptions& options, std::string* error)
{
    if (RecordsFrames(options))
        return OpenFrameFolder(options.output, options.width, options.height, error);
    const std::string ffmpeg = FindFfmpeg();
    if (!ffmpeg.empty())
        return OpenVideo(ffmpeg, options.output, options.width, options.height, options.fps, error);
    const std::string folder = FrameFolderBeside(options.output);
    fprintf(stderr, "ffmpeg was not found (Debian package ffmpeg), so no video can be encoded: writing PNG frames to %s instead\n",
            folder.c_str());
    return OpenFrameFolder(folder, options.width, options.height, error);
}

// An offscreen context of the frame's size on the current display.
osg::ref_ptr<osg::GraphicsContext> MakeOffscreenContext(int width, int height)
{
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
    traits->readDISPLAY();
    traits->setUndefinedScreenDetailsToDefaultScreen();
    traits->x = 0;
    traits->y = 0;
    traits->width = width;
    traits->height = height;
    traits->red = traits->green = traits->blue = 8;
    traits->alpha = 8;
    traits->depth = 24;
    traits->windowDecoration = false;
    traits->pbuffer = true;
    traits->doubleBuffer = false;
    traits->sharedContext = nullptr;
    return osg::GraphicsContext::createGraphicsContext(traits.get());
}

int Interrupted(VideoOutput* output, FramePipeline* pipeline, RenderProgress* progress)
{
    if (progress)
        progress->Break();
    if (pipeline)
        pipeline->Drain();
    output->Abandon();
    fprintf(stderr, "Interrupted (signal %d): nothing written to %s\n", static_cast<int>(stopSignal), output->Path().c_str());
    return RecordInterrupted;
}

} // namespace

int RecordFlight(const RecordOptions& options)
{
    CatchStopSignals();
    osg::ref_ptr<PlayerSession> session = new PlayerSession;
    PlaybackClock& clock = session->clock;
    clock = PlaybackClock(SampleTable.rowCount, SampleTable.SampleStep, options.speed);

    FrameSchedule schedule;
    std::string error;
    if (!ScheduleRecording(SampleTable.rows, SampleTable.rowCount, clock.Step(), options.speed, options.fps,
                           options.hasFrom ? &options.from : nullptr, options.hasTo ? &options.to : nullptr, &schedule,
                           &error))
    {
        fprintf(stderr, "Nothing to record: %s\n", error.c_str());
        return RecordFailed;
    }

    std::unique_ptr<VideoOutput> output = OpenOutput(options, &error);
    if (!output)
    {
        fprintf(stderr, "Cannot record: %s\n", error.c_str());
        return RecordFailed;
    }

    PrivateDisplay display;
    if (!display.Ensure(&error))
    {
        if (stopSignal)
            return Interrupted(output.get(), nullptr, nullptr);
        output->Abandon();
        fprintf(stderr, "Cannot record: %s\n", error.c_str());
        return RecordFailed;
    }
    if (display.Started())
        fprintf(stderr, "No usable display: rendering on a private Xvfb (%s)\n", display.Name().c_str());

    FlightScene scene = AssembleFlightScene();
    scene.aircraftMover->setUpdateCallback(new ClockedAircraft(session.get()));
    fflush(stdout);
    if (stopSignal)
        return Interrupted(output.get(), nullptr, nullptr);

    InstallPatientWindowingSystem();
    osg::ref_ptr<osg::GraphicsContext> context = MakeOffscreenContext(options.width, options.height);
    if (!context)
    {
        output->Abandon();
        fprintf(stderr, "Cannot record: no offscreen OpenGL context of %dx%d could be made on display '%s'\n",
                options.width, options.height, getenv("DISPLAY") ? getenv("DISPLAY") : "");
        return RecordFailed;
    }

    const bool threaded = getenv(RecordSyncVariable) == nullptr;
    FramePipeline pipeline(output.get(), static_cast<size_t>(options.width) * options.height * 3, threaded);
    osg::ref_ptr<ReadBack> readBack = new ReadBack(&pipeline, options.width, options.height);

    osgViewer::Viewer viewer;
    viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);
    viewer.setSceneData(scene.root.get());
    osg::Camera* camera = viewer.getCamera();
    camera->setGraphicsContext(context.get());
    camera->setViewport(0, 0, options.width, options.height);
    camera->setDrawBuffer(GL_FRONT);
    camera->setReadBuffer(GL_FRONT);
    const double aspect = static_cast<double>(options.width) / options.height;
    camera->setProjectionMatrixAsPerspective(FieldOfView, aspect, 1.0, 10000.0);
    if (options.hud)
    {
        session->hud->ShowKeyLine(false);
        osg::Camera* hud = session->hud->Camera();
        hud->setGraphicsContext(context.get());
        hud->setViewport(0, 0, options.width, options.height);
        hud->setDrawBuffer(GL_FRONT);
        hud->setReadBuffer(GL_FRONT);
        hud->setFinalDrawCallback(readBack.get());
        // The display has a scene of its own, which the scene's camera never sees.
        viewer.addSlave(hud, false);
    }
    else
        camera->setFinalDrawCallback(readBack.get());
    viewer.realize();
    if (!viewer.isRealized())
    {
        output->Abandon();
        fprintf(stderr, "Cannot record: the offscreen context could not be realised\n");
        return RecordFailed;
    }

    const std::unique_ptr<RecordingCamera> chosen = options.camera->make(LoadedFlight(clock.Step()));
    chosen->SetUp(CameraPicture{FieldOfView, aspect, options.hud}, scene.aircraftMover.get());
    const double secondsPerFrame = schedule.perFrame * clock.Step();

    RenderProgress progress(schedule.frameCount);
    double drawSeconds = 0.0;
    double lastFigures = -1.0;
    for (int64_t frame = 0; frame < schedule.frameCount; ++frame)
    {
        if (stopSignal)
            return Interrupted(output.get(), &pipeline, &progress);
        if (pipeline.Failed())
            break;
        const double position = schedule.PositionOf(frame);
        clock.SetPosition(position);
        camera->setViewMatrix(chosen->View(position, secondsPerFrame));
        if (options.hud)
        {
            // As in the player: the figures change at most FiguresPerSecond times a second.
            const double videoSeconds = static_cast<double>(frame) / options.fps;
            const bool figures = lastFigures < 0.0 || videoSeconds - lastFigures >= 1.0 / FiguresPerSecond - 1e-9;
            if (figures)
                lastFigures = videoSeconds;
            session->Refresh(options.width, options.height, figures);
        }
        const Clock::time_point start = Clock::now();
        viewer.frame(static_cast<double>(frame) / options.fps);
        drawSeconds += Since(start);
        progress.Done(frame + 1);
    }
    const bool written = pipeline.Drain();
    if (stopSignal)
        return Interrupted(output.get(), &pipeline, &progress);
    if (!written || !output->Finish())
    {
        progress.Break();
        fprintf(stderr, "Recording failed: %s\n", output->Error().c_str());
        output->Abandon();
        return RecordFailed;
    }
    const double renderSeconds = progress.Seconds();
    if (getenv(RecordProfileVariable))
    {
        const double frames = static_cast<double>(schedule.frameCount);
        // The wait for the encoder happens inside the read-back callback, which runs inside
        // the frame: drawing is what remains of the frame.
        fprintf(stderr, "per frame: %.1f ms in all, drawing %.1f ms, read-back %.1f ms, waiting for the encoder %.1f ms (%s)\n",
                1000.0 * renderSeconds / frames, 1000.0 * (drawSeconds - readBack->readSeconds - pipeline.WaitSeconds()) / frames,
                1000.0 * readBack->readSeconds / frames, 1000.0 * pipeline.WaitSeconds() / frames,
                threaded ? "writer thread" : "written in turn");
    }
    printf("%s: %lld frames, %s of video (%dx%d, %d frames/s), rendered in %s\n", output->Path().c_str(),
           static_cast<long long>(schedule.frameCount), FormatDuration(schedule.VideoSeconds(options.fps)).c_str(),
           options.width, options.height, options.fps, Clocked(renderSeconds).c_str());
    return 0;
}
