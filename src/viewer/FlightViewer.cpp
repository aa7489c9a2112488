#include "viewer/FlightViewer.h"

#include <cstdio>

#include <osgGA/DriveManipulator>
#include <osgGA/FlightManipulator>
#include <osgGA/KeySwitchMatrixManipulator>
#include <osgGA/NodeTrackerManipulator>
#include <osgGA/TerrainManipulator>
#include <osgGA/TrackballManipulator>
#include <osgViewer/ViewerEventHandlers>

#include "scene/Aircraft.h"
#include "viewer/SceneAssembly.h"
#include "viewer/WindowingSystem.h"

void SetUpFlightViewer(osgViewer::Viewer& viewer, osg::Node* scene)
{
    SetUpFlightViewer(viewer, scene, TrackedAircraft);
}

void SetUpFlightViewer(osgViewer::Viewer& viewer, osg::Node* scene, osg::Node* aircraft)
{
    viewer.addEventHandler(new osgViewer::WindowSizeHandler);
    viewer.setSceneData(scene);

    // Held here only until the camera switch owns it.
    osg::ref_ptr<osgGA::NodeTrackerManipulator> nodeTracker = new osgGA::NodeTrackerManipulator;
    nodeTracker->setTrackerMode(osgGA::NodeTrackerManipulator::NODE_CENTER_AND_ROTATION);
    nodeTracker->setRotationMode(osgGA::NodeTrackerManipulator::TRACKBALL);
    nodeTracker->setTrackNode(aircraft);

    // The first entry is the mode the viewer starts in: following the aircraft.
    osg::ref_ptr<osgGA::KeySwitchMatrixManipulator> cameraSwitch = new osgGA::KeySwitchMatrixManipulator;
    cameraSwitch->addMatrixManipulator('0', "NodeTracker", nodeTracker.get());
    cameraSwitch->addMatrixManipulator('1', "Trackball", new osgGA::TrackballManipulator);
    osg::ref_ptr<osgGA::FlightManipulator> flight = new osgGA::FlightManipulator;
    flight->setAcceleration(1.0);
    cameraSwitch->addMatrixManipulator('2', "Flight", flight.get());
    cameraSwitch->addMatrixManipulator('3', "Drive", new osgGA::DriveManipulator);
    cameraSwitch->addMatrixManipulator('4', "Terrain", new osgGA::TerrainManipulator);
    viewer.setCameraManipulator(cameraSwitch.get());
}

bool RealiseFlightViewer(osgViewer::Viewer& viewer)
{
    // run() would realise the window itself, but without one it carries on and reports
    // success; realising first lets a missing display end the run with its own status.
    viewer.realize();
    if (!viewer.isRealized())
    {
        fprintf(stderr, "No graphics window could be opened: is there a display (DISPLAY set, OpenGL available)?\n");
        return false;
    }
    return true;
}

int RunViewer()
{
    // Without any windowing system the realise check ends the run as without a display.
    InstallPatientWindowingSystem();
    osgViewer::Viewer viewer;
    // The scene build sets TrackedAircraft, which the node tracker needs.
    SetUpFlightViewer(viewer, BuildScene().get());
    if (!RealiseFlightViewer(viewer))
        return ViewerNoWindow;
    return viewer.run();
}
