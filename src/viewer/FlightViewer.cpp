#include "viewer/FlightViewer.h"

#include <cstdio>

#include <osgGA/DriveManipulator>
#include <osgGA/FlightManipulator>
#include <osgGA/KeySwitchMatrixManipulator>
#include <osgGA/NodeTrackerManipulator>
#include <osgGA/TerrainManipulator>
#include <osgGA/TrackballManipulator>
#include <osgViewer/Viewer>
#include <osgViewer/ViewerEventHandlers>

#include "scene/Aircraft.h"
#include "viewer/SceneAssembly.h"
#include "viewer/WindowingSystem.h"

int RunViewer()
{
    // Without any windowing system the realise check below ends the run as without a display.
    InstallPatientWindowingSystem();
    osgViewer::Viewer viewer;
    viewer.addEventHandler(new osgViewer::WindowSizeHandler);

    // The scene build sets TrackedAircraft, which the node tracker needs next.
    viewer.setSceneData(BuildScene().get());

    // Declared after the viewer, so this reference is dropped before the viewer goes.
    osg::ref_ptr<osgGA::NodeTrackerManipulator> nodeTracker = new osgGA::NodeTrackerManipulator;
    nodeTracker->setTrackerMode(osgGA::NodeTrackerManipulator::NODE_CENTER_AND_ROTATION);
    nodeTracker->setRotationMode(osgGA::NodeTrackerManipulator::TRACKBALL);
    nodeTracker->setTrackNode(TrackedAircraft);

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
    cameraSwitch = nullptr;

    // run() would realise the window itself, but without one it carries on and reports
    // success; realising first lets a missing display end the run with its own status.
    viewer.realize();
    if (!viewer.isRealized())
    {
        fprintf(stderr, "No graphics window could be opened: is there a display (DISPLAY set, OpenGL available)?\n");
        return ViewerNoWindow;
    }
    return viewer.run();
}
