#include "player/PlayerViewer.h"

#include <osgUtil/IncrementalCompileOperation>
#include <osgViewer/Viewer>

#include "player/NearPlane.h"
#include "player/PlayerBackdrop.h"
#include "player/PlayerSession.h"
#include "viewer/FlightViewer.h"
#include "viewer/SceneAssembly.h"
#include "viewer/WindowingSystem.h"

// Puts the display's camera on the viewer's first window, drawn after the scene. The
// window exists only once the viewer is realised; the rendering threads then started are
// restarted, so that they take the new camera in.
static void AttachDisplay(osgViewer::Viewer& viewer, osg::Camera* display)
{
    osgViewer::Viewer::Windows windows;
    viewer.getWindows(windows);
    if (windows.empty())
        return;
    const osg::GraphicsContext::Traits* traits = windows[0]->getTraits();
    display->setGraphicsContext(windows[0]);
    display->setViewport(0, 0, traits ? traits->width : 1, traits ? traits->height : 1);
    viewer.stopThreading();
    // The display has a scene of its own, which the camera modes never see.
    viewer.addSlave(display, false);
    viewer.startThreading();
}

int RunPlayerViewer(const PlayerViewOptions& viewOptions, const std::vector<LoadedFlight>& flights, const MapFrameValues& frame)
{
    InstallPatientWindowingSystem();
    osgViewer::Viewer viewer;
    osg::ref_ptr<PlayerSession> session = new PlayerSession(viewOptions, flights, frame);
    const bool several = session->SeveralFlights();
    const TrackColouring colouring = session->ColourTrack(several ? TrackColourBy::None : viewOptions.colourBy);
    const std::vector<FlightTiles> corridor = session->FlightCorridors();
    FlightScene scene = AssembleFlightScene(session->Shown().Rows(), frame, SceneTerrain::Paged, colouring.by == TrackColourBy::None || several ? nullptr : &colouring,
                                            several ? &corridor : nullptr);
    session->DressAircraft(scene);
    session->AddFlightsToScene(scene);
    session->AddLayersToScene(scene);
    SurroundWithBackdrop(scene);
    scene.aircraftMover->setUpdateCallback(new ClockedAircraft(session.get()));
    SetUpFlightViewer(viewer, scene.root.get(), scene.aircraft.get());
    KeepNearPlaneInFront(*viewer.getCamera(), scene.aircraftMover.get(), DrawnGroundIn(frame));
    // The terrain's tiles reach the graphics card a few at a time, within each frame's budget,
    // instead of all those that came in at once in one long frame: playing fast over a long
    // flight, the median frame is a third shorter and the slowest a third less slow.
    viewer.setIncrementalCompileOperation(new osgUtil::IncrementalCompileOperation);
    viewer.addEventHandler(new PlayerControls(session.get()));
    if (!RealiseFlightViewer(viewer))
        return ViewerNoWindow;
    AttachDisplay(viewer, session->hud->Camera());
    return viewer.run();
}
