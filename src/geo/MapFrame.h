#pragma once
#include "geo/MapProjection.h"

// The replay's own frame: written once by SetUpMapFrame, read-only afterwards. Code that
// draws or measures a flight of its own is handed a MapFrameValues instead.
extern MapFrameValues MapFrame;

// Fixes k, CI and CJ from the flight centre (degrees). Prints nothing; the driver reports it.
void SetUpMapFrame(double centreLatitude, double centreLongitude);

// ScenePosition and CurvatureDrop in the replay's frame.
osg::Vec3f ScenePosition(double latitude, double longitude, double altitude);
double CurvatureDrop(double a, double b);
