#pragma once
#include <osg/Node>
#include <osgViewer/Viewer>

// Value RunViewer returns when no graphics window could be opened.
const int ViewerNoWindow = -5;

// Opens the viewer on the scene and runs its frame loop until the user ends it. Returns
// the frame loop's result, or ViewerNoWindow when no window could be realised (the reason
// is printed on stderr).
int RunViewer();

// The pieces RunViewer is made of, for every program that shows the flight in the same
// viewer. In this order: InstallPatientWindowingSystem (viewer/WindowingSystem.h), then a
// fresh viewer, SetUpFlightViewer, RealiseFlightViewer, and the viewer's run().

// Gives the viewer the window-size handler, `scene` as its data and the five camera modes
// on keys 0 to 4, starting in the node tracker's. The scene must have been built, since the
// node tracker follows TrackedAircraft (scene/Aircraft.h), which the build sets.
void SetUpFlightViewer(osgViewer::Viewer& viewer, osg::Node* scene);
// The same with the node tracker on `aircraft`, the aircraft's own transform.
void SetUpFlightViewer(osgViewer::Viewer& viewer, osg::Node* scene, osg::Node* aircraft);

// Realises the viewer's window. False, with one line on stderr saying why, when none could
// be opened; the caller then ends the run with ViewerNoWindow.
bool RealiseFlightViewer(osgViewer::Viewer& viewer);
