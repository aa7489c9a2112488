#pragma once
#include <osg/Quat>

// How the log's angles turn the aircraft. This is the one place the rotation is written;
// the flight path reads the log through LoggedAttitude. The numbers a writer of logs stores
// for an attitude as a pilot states it are in log/LogAttitude.h, which this rotation explains.
//
// The aircraft stands upright with its nose towards the scene's +y axis (east) and is then
// turned by the logged roll about (0, -1, 0), the logged pitch about (1, 0, 0) and the logged
// heading about (0, 0, 1), in that order, in a frame whose x axis points south, y east and z
// up. Worked through, that means:
// - heading: the nose points east at 0 and north at pi/2, counter-clockwise seen from
//   above, so the log holds pi/2 minus the compass course;
// - pitch: positive raises the nose, as the pilot counts it;
// - roll: positive raises the right wing, so the log holds the bank angle negated
//   (a pilot's bank is positive with the right wing down).

// The rotation of the aircraft for a row's logged angles (radians): roll first, then
// pitch, then heading, each about a fixed axis of the map frame.
osg::Quat LoggedAttitude(double heading, double pitch, double roll);
