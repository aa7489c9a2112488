#include "record/FlightRecorder.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include <osg/GL>
#include <osg/GraphicsContext>
#include <osg/MatrixTransform>
#include <osgDB/DatabasePager>
#include <osgViewer/Viewer>

#include "log/LogAttitude.h"
#include "player/NearPlane.h"
#include "player/PlayerBackdrop.h"
#include "player/PlayerDisplay.h"
#include "player/PlayerSession.h"
#include "record/FramePipeline.h"
#include "record/FrameSchedule.h"
#include "record/RecordingCamera.h"
#include "record/VideoOutput.h"
#include "viewer/PrivateDisplay.h"
#include "viewer/SceneAssembly.h"
#include "viewer/WindowingSystem.h"

namespace {

using Clock = std::chrono::steady_clock;

// The vertical field of view of every camera, degrees.
const double FieldOfView = 40.0;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
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
        const std::string left = rate > 0.0 ? FormatWholeDuration((total - done) / rate) : "?";
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

// Reads the finished frame back, the final draw of the last camera, into a buffer of the
// pipeline that it holds until Deliver: a frame drawn while terrain tiles were still on their
// way is drawn again into the same buffer, and only the complete one goes out.
class ReadBack : public osg::Camera::DrawCallback
{
public:
    ReadBack(FramePipeline* pipeline, int width, int height) : pipeline(pipeline), width(width), height(height) {}

    void operator()(osg::RenderInfo&) const override
    {
        if (!frame)
            frame = pipeline->Take();
        // A software renderer draws when it must; finishing first keeps the drawing's time
        // out of the read-back's.
        glFinish();
        const Clock::time_point start = Clock::now();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame);
        readSeconds += Since(start);
    }

    // Hands the last frame read to the pipeline.
    void Deliver()
    {
        if (frame)
            pipeline->Put(frame);
        frame = nullptr;
    }

    mutable double readSeconds = 0.0;

private:
    FramePipeline* pipeline;
    int width;
    int height;
    mutable uint8_t* frame = nullptr;
};

// Whether the database pager still reads, compiles or merges tiles that a frame asked for.
bool TilesOnTheirWay(osgDB::DatabasePager* pager)
{
    return pager && pager->getRequestsInProgress();
}

// Waits while the pager's threads read the tiles asked for; returns once something waits to
// be merged into the scene or compiled, which only a frame does, or nothing is left to read.
void WaitForTileReads(osgDB::DatabasePager* pager)
{
    auto reading = [pager] {
        if (pager->getFileRequestListSize() > 0)
            return true;
        for (unsigned int n = 0; n < pager->getNumDatabaseThreads(); ++n)
            if (pager->getDatabaseThread(n)->getActive())
                return true;
        return false;
    };
    while (reading() && pager->getDataToMergeListSize() == 0 && pager->getDataToCompileListSize() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A frame whose tiles are still not all in after this long is taken as it is, with a warning:
// a stuck read must not hang a batch of recordings.
const double LongestTileWait = 120.0;

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

// Points a camera of the viewer at the offscreen context, which has one buffer only.
void DrawOffscreen(osg::Camera* camera, osg::GraphicsContext* context, int width, int height)
{
    camera->setGraphicsContext(context);
    camera->setViewport(0, 0, width, height);
    camera->setDrawBuffer(GL_FRONT);
    camera->setReadBuffer(GL_FRONT);
}

// One recording, from its set-up to its summary line. A step that cannot go on has said
// why on standard error and left nothing under the output's name; `status` is then what
// RecordFlight returns.
//
// The members are declared in the order that takes them down safely: the viewer before the
// pipeline its read-back feeds, the pipeline before the output it writes to, the drawing
// before the private display it draws on.
class Recording
{
public:
    Recording(const RecordOptions& options, const std::vector<LoadedFlight>& flights, const MapFrameValues& frame, CommandReport& report)
        : options(options), report(report), session(new PlayerSession(options.view, flights, frame))
    {
        // Each frame waits for its clip's frame: the same video on every machine.
        if (session->Video())
            session->Video()->SetExact(true);
    }
    int Run();

private:
    // The set-up, step by step; each false when the recording ends there.
    bool SetUp();
    bool Schedule();
    bool Open();
    bool EnsureDisplay();
    bool AssembleScene();
    bool MakeContext();
    bool RealiseViewer();
    void AddDisplay();
    std::unique_ptr<RecordingCamera> ChooseCamera();
    // With several flights: the selected one on the common clock, the others' tracks beside.
    CameraSubject SelectedFlight() const;

    // The frames, and the steps of each.
    bool DrawFrames(RecordingCamera* camera);
    void RefreshDisplay(int64_t frame);
    void DrawFrame(int64_t frame);

    // The end: the output finished and named, or given up.
    void Finish();
    void PrintProfile(double renderSeconds) const;
    void PrintSummary(double renderSeconds) const;
    // Gives up for a reason of the cause given.
    bool Refuse(const char* what, const std::string& reason, CommandStatus cause);
    bool Stop();

    double Aspect() const { return static_cast<double>(options.width) / options.height; }
    // Plots, a legend or the video are drawn, with or without the rest of the display, and
    // follow the clock all the same: the plots, the track's legend, the flights' legend with
    // the sample each stands on, the clip's frame.
    bool DisplaysBeside() const
    {
        return !options.view.plots.empty() || options.view.colourBy != TrackColourBy::None || session->SeveralFlights() || session->Video();
    }

    const RecordOptions& options;
    CommandReport& report;
    CommandStatus status = CommandStatus::Done;
    std::string failure; // why, for the report
    const bool threaded = getenv(RecordSyncVariable) == nullptr;
    osg::ref_ptr<PlayerSession> session;
    FrameSchedule schedule;
    std::unique_ptr<VideoOutput> output;
    PrivateDisplay display;
    FlightScene scene;
    osg::ref_ptr<osg::GraphicsContext> context;
    std::unique_ptr<FramePipeline> pipeline;
    osg::ref_ptr<ReadBack> readBack;
    osgViewer::Viewer viewer;
    std::unique_ptr<RenderProgress> progress;
    double drawSeconds = 0.0;  // inside viewer.frame, read-back and the encoder's waits included
    double tileSeconds = 0.0;  // of which spent waiting for terrain tiles and drawing again
    int64_t redraws = 0;       // frames drawn again once their tiles were in
    bool warnedTileWait = false;
    double lastFigures = -1.0; // video seconds at which the display's figures last changed
};

int Recording::Run()
{
    if (SetUp())
    {
        const std::unique_ptr<RecordingCamera> camera = ChooseCamera();
        progress = std::make_unique<RenderProgress>(schedule.frameCount);
        if (DrawFrames(camera.get()))
            Finish();
    }
    return report.Finish(status, failure);
}

bool Recording::SetUp()
{
    return Schedule() && Open() && EnsureDisplay() && AssembleScene() && MakeContext() && RealiseViewer();
}

bool Recording::Schedule()
{
    std::string error;
    // --from and --to mean the same with one flight or several: the selected flight's log time,
    // or +S from the clock's start; the span is then on the times of the clock's rows.
    const FlightsOnClock* onClock = session->OnClock();
    const std::vector<double> logTimes = LogTimesOf(session->Shown().Rows());
    const std::vector<double>& clockTimes = onClock ? onClock->ClockTimes() : logTimes;
    const std::vector<double>& rowClockTimes = onClock ? onClock->TimesOf(session->Selected()) : logTimes;
    const double fromTime = ClockTimeOfMoment(options.from, options.fromSinceStart, clockTimes, logTimes, rowClockTimes);
    const double toTime = ClockTimeOfMoment(options.to, options.toSinceStart, clockTimes, logTimes, rowClockTimes);
    PlaybackClock& clock = session->Transport();
    clock = onClock ? PlaybackClock(clockTimes, onClock->Step(), options.speed) : PlaybackClock(logTimes, session->Shown().summary.step, options.speed);
    session->Follow();
    if (ScheduleRecording(clockTimes, clock, options.speed, options.fps, options.hasFrom ? &fromTime : nullptr, options.hasTo ? &toTime : nullptr, &schedule, &error,
                          onClock ? "the flights' common clock" : "the flight's log time"))
        return true;
    return Refuse("Nothing to record", error, CommandStatus::Usage);
}

bool Recording::Open()
{
    std::string error;
    output = OpenOutput(options, &error);
    // An output refused is the caller's to change: a folder that holds files, a name where
    // nothing can be written.
    return output || Refuse("Cannot record", error, CommandStatus::Usage);
}

bool Recording::EnsureDisplay()
{
    std::string error;
    if (!display.Ensure(&error))
        return StopSignal() ? Stop() : Refuse("Cannot record", error, CommandStatus::Transient);
    if (display.Started())
        fprintf(stderr, "No usable display: rendering on a private Xvfb (%s)\n", display.Name().c_str());
    return true;
}

bool Recording::AssembleScene()
{
    const TrackColouring colouring = session->ColourTrack(options.view.colourBy);
    const std::vector<FlightTiles> corridor = session->FlightCorridors();
    scene = AssembleFlightScene(session->Shown().Rows(), session->Frame(), SceneTerrain::Paged, colouring.by == TrackColourBy::None || session->SeveralFlights() ? nullptr : &colouring,
                                session->SeveralFlights() ? &corridor : nullptr);
    session->DressAircraft(scene);
    session->AddLayersToScene(scene);
    SurroundWithBackdrop(scene);
    scene.aircraftMover->setUpdateCallback(new ClockedAircraft(session.get()));
    fflush(stdout);
    return !StopSignal() || Stop();
}

bool Recording::MakeContext()
{
    InstallPatientWindowingSystem();
    context = MakeOffscreenContext(options.width, options.height);
    if (context)
        return true;
    const char* name = getenv("DISPLAY");
    // The machine's display, not the flight: another try, or another machine, may have one.
    return Refuse("Cannot record", "no offscreen OpenGL context of " + std::to_string(options.width) + "x" +
                                       std::to_string(options.height) + " could be made on display '" +
                                       (name ? name : "") + "'", CommandStatus::Transient);
}

// The scene's camera draws first; the last camera to draw reads the frame back.
bool Recording::RealiseViewer()
{
    pipeline = std::make_unique<FramePipeline>(output.get(), static_cast<size_t>(options.width) * options.height * 3, threaded);
    readBack = new ReadBack(pipeline.get(), options.width, options.height);
    viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);
    if (const int threads = RecordThreads(); threads > 0 && viewer.getDatabasePager())
        viewer.getDatabasePager()->setUpThreads(static_cast<unsigned int>(threads), 0);
    viewer.setSceneData(scene.root.get());
    osg::Camera* camera = viewer.getCamera();
    DrawOffscreen(camera, context.get(), options.width, options.height);
    camera->setProjectionMatrixAsPerspective(FieldOfView, Aspect(), 1.0, 10000.0);
    KeepNearPlaneInFront(*camera, scene.aircraftMover.get(), DrawnGroundIn(session->Frame()));
    double lift = 0.0;
    LiftPicture(*camera, session->CoveredBelow(options.width, options.height), &lift);
    if (options.hud || session->hud->ShowsAttribution() || DisplaysBeside())
        AddDisplay();
    else
        camera->setFinalDrawCallback(readBack.get());
    viewer.realize();
    return viewer.isRealized() || Refuse("Cannot record", "the offscreen context could not be realised", CommandStatus::Transient);
}

// The player's display over the scene, without its line of keys: a video takes none. Without
// the display the credits of the world's data are still drawn, where nothing moves them.
void Recording::AddDisplay()
{
    session->hud->ShowKeyLine(false);
    if (!options.hud)
    {
        session->hud->SetVisible(false);
        session->Refresh(options.width, options.height, true);
    }
    osg::Camera* hud = session->hud->Camera();
    DrawOffscreen(hud, context.get(), options.width, options.height);
    hud->setFinalDrawCallback(readBack.get());
    // The display has a scene of its own, which the scene's camera never sees.
    viewer.addSlave(hud, false);
}

std::unique_ptr<RecordingCamera> Recording::ChooseCamera()
{
    CameraSubject subject = session->SeveralFlights() ? SelectedFlight() : CameraSubjectOf(session->Shown(), session->Frame(), session->clock.Step());
    // The overview frames the plan's route, fences and task as well as the track.
    if (const PlanScene* plan = session->PlanLayers())
        subject.others.insert(subject.others.end(), plan->Outline().begin(), plan->Outline().end());
    std::unique_ptr<RecordingCamera> camera = options.camera->make(subject);
    camera->SetUp(CameraPicture{FieldOfView, Aspect(), options.hud, session->CoveredBelow(options.width, options.height)}, scene.aircraftMover.get());
    // After the set-up, so that the others' aircraft are as large as the selected one.
    session->AddFlightsToScene(scene);
    return camera;
}

CameraSubject Recording::SelectedFlight() const
{
    const osg::ref_ptr<PlayerSession> flights = session;
    CameraSubject subject = CameraSubjectOf(session->Shown(), session->Frame(), session->Transport().Step());
    subject.rows = static_cast<int32_t>(session->OnClock()->ClockTimes().size());
    subject.aircraftAt = [flights](double position) {
        double row = 0.0;
        flights->OnClock()->FlightRowAt(flights->Selected(), position, &row);
        return AircraftMatrixAt(flights->Shown().Rows(), flights->Frame(), row);
    };
    const std::vector<FlightRows> rows = session->AllRows();
    for (size_t i = 0; i < rows.size(); ++i)
        for (int32_t row = 0; i != session->Selected() && row < rows[i].count; ++row)
            subject.others.push_back(AircraftMatrixAt(rows[i], session->Frame(), row).getTrans());
    return subject;
}

// False when a signal stopped the recording; a failed write ends the loop early and is
// reported by Finish.
bool Recording::DrawFrames(RecordingCamera* camera)
{
    const double secondsPerFrame = schedule.perFrame;
    for (int64_t frame = 0; frame < schedule.frameCount; ++frame)
    {
        if (StopSignal())
            return Stop();
        if (pipeline->Failed())
            break;
        PlaybackClock& clock = session->Transport();
        const double position = clock.PositionAt(schedule.SecondsOf(frame));
        clock.SetPosition(position);
        session->Follow();
        viewer.getCamera()->setViewMatrix(camera->View(position, secondsPerFrame));
        if (options.hud || DisplaysBeside())
            RefreshDisplay(frame);
        DrawFrame(frame);
        progress->Done(frame + 1);
    }
    return true;
}

void Recording::RefreshDisplay(int64_t frame)
{
    // As in the player: the figures change at most FiguresPerSecond times a second.
    const double videoSeconds = static_cast<double>(frame) / options.fps;
    const bool figures = lastFigures < 0.0 || videoSeconds - lastFigures >= 1.0 / FiguresPerSecond - 1e-9;
    if (figures)
        lastFigures = videoSeconds;
    session->Refresh(options.width, options.height, figures);
}

// The paged terrain loads in the background: a frame is drawn again, once the tiles it asked
// for are in, until it asks for none, so that every frame shows what its view calls for
// whatever the machine's speed, and two recordings give the same frames.
void Recording::DrawFrame(int64_t frame)
{
    const Clock::time_point start = Clock::now();
    const double time = static_cast<double>(frame) / options.fps;
    viewer.frame(time);
    const Clock::time_point drawn = Clock::now();
    osgDB::DatabasePager* pager = viewer.getDatabasePager();
    while (TilesOnTheirWay(pager))
    {
        if (Since(drawn) > LongestTileWait)
        {
            if (!warnedTileWait)
                fprintf(stderr, "terrain tiles still loading after %.0f s at frame %lld: frames drawn with the tiles that are in\n", LongestTileWait, static_cast<long long>(frame + 1));
            warnedTileWait = true;
            break;
        }
        WaitForTileReads(pager);
        viewer.frame(time);
        ++redraws;
    }
    readBack->Deliver();
    tileSeconds += Since(drawn);
    drawSeconds += Since(start);
}

void Recording::Finish()
{
    const bool written = pipeline->Drain();
    if (StopSignal())
    {
        Stop();
        return;
    }
    if (!written || !output->Finish())
    {
        progress->Break();
        fprintf(stderr, "Recording failed: %s\n", output->Error().c_str());
        output->Abandon();
        // The encoder or the disk gave out: a full disk, a killed encoder; worth a retry.
        status = CommandStatus::Transient;
        failure = output->Error();
        return;
    }
    const double renderSeconds = progress->Seconds();
    if (getenv(RecordProfileVariable))
        PrintProfile(renderSeconds);
    PrintSummary(renderSeconds);
    report.Written(output->Path());
    report.Count("frames", static_cast<double>(schedule.frameCount));
    report.Count("video_seconds", schedule.VideoSeconds(options.fps));
    report.Count("redrawn_frames", static_cast<double>(redraws));
    report.Timing("render", renderSeconds);
}

void Recording::PrintProfile(double renderSeconds) const
{
    const double frames = static_cast<double>(schedule.frameCount);
    // The wait for the encoder happens inside the read-back callback, which runs inside the
    // frame: drawing is what remains of the frame.
    fprintf(stderr, "per frame: %.1f ms in all, drawing %.1f ms, read-back %.1f ms, waiting for the encoder %.1f ms (%s); of these, waiting for terrain tiles and drawing again %.1f ms (%lld frames drawn again)\n",
            1000.0 * renderSeconds / frames, 1000.0 * (drawSeconds - readBack->readSeconds - pipeline->WaitSeconds()) / frames,
            1000.0 * readBack->readSeconds / frames, 1000.0 * pipeline->WaitSeconds() / frames,
            threaded ? "writer thread" : "written in turn", 1000.0 * tileSeconds / frames, static_cast<long long>(redraws));
}

void Recording::PrintSummary(double renderSeconds) const
{
    printf("%s: %lld frames, %s of video (%dx%d, %d frames/s), rendered in %s\n", output->Path().c_str(),
           static_cast<long long>(schedule.frameCount), FormatDuration(schedule.VideoSeconds(options.fps)).c_str(),
           options.width, options.height, options.fps, FormatWholeDuration(renderSeconds).c_str());
}

// Gives up before the first frame, saying why; nothing is left of the output.
bool Recording::Refuse(const char* what, const std::string& reason, CommandStatus cause)
{
    if (output)
        output->Abandon();
    fprintf(stderr, "%s: %s\n", what, reason.c_str());
    status = cause;
    failure = std::string(what) + ": " + reason;
    return false;
}

// A signal stops the recording: what was written is removed.
bool Recording::Stop()
{
    if (progress)
        progress->Break();
    if (pipeline)
        pipeline->Drain();
    output->Abandon();
    fprintf(stderr, "Interrupted (signal %d): nothing written to %s\n", StopSignal(), output->Path().c_str());
    status = CommandStatus::Interrupted;
    failure = "interrupted by signal " + std::to_string(StopSignal());
    return false;
}

} // namespace

CameraSubject CameraSubjectOf(const LoadedFlight& flight, const MapFrameValues& frame, double rowSeconds)
{
    CameraSubject subject;
    subject.rows = static_cast<int32_t>(flight.rows.size());
    subject.rowSeconds = rowSeconds;
    subject.unitsPerMetre = frame.k;
    const FlightRows rows = flight.Rows();
    subject.aircraftAt = [rows, frame](double position) { return AircraftMatrixAt(rows, frame, position); };
    subject.groundUnder = DrawnGroundIn(frame);
    subject.headingIsCourse = HeadingIsCourse(rows.rows, rows.count);
    return subject;
}

int RecordFlight(const RecordOptions& options, const std::vector<LoadedFlight>& flights, const MapFrameValues& frame, CommandReport* report)
{
    CatchStopSignals();
    // A failed encoder is reported by the failed write, not by the default's silent end.
    signal(SIGPIPE, SIG_IGN);
    CommandReport quiet("record", false);
    Recording recording(options, flights, frame, report ? *report : quiet);
    return recording.Run();
}
