// Flies a flight in the player's scene, chased by the recording's chase camera, at a speed
// many times the recorded one, in a window, without waiting for the terrain: what a user
// sees when playing fast through a long flight. Prints one line of NAME=VALUE for ./bench:
// frames, the share of the flight flown, the median and 99th percentile of the frame times,
// the most terrain tiles in memory at once and at the end, and the peak resident memory.
//
//   flightreplay-terrainfly LOG [SPEED [SECONDS]]     (default 64, and one pass or 120 s)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <osg/Geode>
#include <osg/NodeVisitor>
#include <osgUtil/IncrementalCompileOperation>
#include <osgViewer/Viewer>

#include "flight/LoadedFlight.h"
#include "player/PlayerBackdrop.h"
#include "player/PlayerSession.h"
#include "record/FlightRecorder.h"
#include "viewer/SceneAssembly.h"
#include "viewer/WindowingSystem.h"

namespace
{

class TileCounter : public osg::NodeVisitor
{
public:
    TileCounter() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
    void apply(osg::Geode&) override { ++tiles; }
    int tiles = 0;
};

double ResidentMegabytes()
{
    long pages = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm)
    {
        if (fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(statm);
    }
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double Percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(share * values.size()))];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        fprintf(stderr, "usage: %s LOG [SPEED [SECONDS]]\n", argv[0]);
        return 2;
    }
    const double speed = argc > 2 ? atof(argv[2]) : 64.0;
    const double longest = argc > 3 ? atof(argv[3]) : 120.0;
    std::vector<LoadedFlight> flights(1);
    if (LoadFlight(argv[1], nullptr, FlightFiles::Convert, LoadReport::Quiet, &flights[0]) != 0)
        return 1;
    const MapFrameValues frame = flights[0].Frame();

    InstallPatientWindowingSystem();
    FlightScene scene = AssembleFlightScene(flights[0].Rows(), frame, SceneTerrain::Paged);
    SurroundWithBackdrop(scene);
    osg::ref_ptr<PlayerSession> session = new PlayerSession(PlayerViewOptions(), flights, frame);
    session->clock = PlaybackClock(LogTimesOf(flights[0].Rows()), flights[0].summary.step, speed);
    scene.aircraftMover->setUpdateCallback(new ClockedAircraft(session.get()));

    const int width = 1280, height = 720;
    osgViewer::Viewer viewer;
    viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);
    viewer.setSceneData(scene.root.get());
    viewer.setUpViewInWindow(0, 0, width, height);
    // As the player does (PlayerViewer.cpp).
    viewer.setIncrementalCompileOperation(new osgUtil::IncrementalCompileOperation);
    viewer.realize();
    if (!viewer.isRealized())
    {
        fprintf(stderr, "no window\n");
        return 3;
    }
    viewer.getCamera()->setProjectionMatrixAsPerspective(40.0, static_cast<double>(width) / height, 1.0, 10000.0);
    std::unique_ptr<RecordingCamera> camera = FindRecordCamera("chase")->make(CameraSubjectOf(flights[0], frame, session->clock.Step()));
    camera->SetUp(CameraPicture{40.0, static_cast<double>(width) / height, false}, scene.aircraftMover.get());

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point last = start;
    std::vector<double> frameSeconds;
    int mostTiles = 0;
    int tiles = 0;
    const double lastPosition = static_cast<double>(flights[0].rows.size()) - 1.0;
    double previous = 0.0;
    double farthest = 0.0;
    bool wrapped = false;
    while (!viewer.done() && !wrapped && std::chrono::duration<double>(Clock::now() - start).count() < longest)
    {
        const Clock::time_point now = Clock::now();
        const double wall = std::chrono::duration<double>(now - last).count();
        last = now;
        session->clock.Advance(frameSeconds.empty() ? 0.0 : wall);
        const double position = session->clock.Position();
        wrapped = position < previous || position >= lastPosition;
        previous = position;
        farthest = std::max(farthest, position);
        viewer.getCamera()->setViewMatrix(camera->View(position, wall * speed));
        const Clock::time_point before = Clock::now();
        viewer.frame();
        frameSeconds.push_back(std::chrono::duration<double>(Clock::now() - before).count());
        if (frameSeconds.size() % 10 == 0)
        {
            TileCounter counter;
            scene.terrain->accept(counter);
            tiles = counter.tiles;
            mostTiles = std::max(mostTiles, tiles);
        }
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    printf("frames=%zu seconds=%.0f flown=%.0f%% median_ms=%.1f p99_ms=%.1f tiles_max=%d tiles_end=%d peak_mb=%.0f end_mb=%.0f\n",
           frameSeconds.size(), std::chrono::duration<double>(Clock::now() - start).count(), 100.0 * farthest / std::max(1.0, lastPosition),
           1000.0 * Percentile(frameSeconds, 0.5), 1000.0 * Percentile(frameSeconds, 0.99), mostTiles, tiles, usage.ru_maxrss / 1024.0, ResidentMegabytes());
    return 0;
}
