#pragma once
#include <osg/Quat>

// How the log's angles turn the aircraft, and the angles a writer of logs stores for an
// attitude as a pilot states it. This is the one place the convention is written; the flight
// path reads the log through LoggedAttitude, and the programs that write logs use the rest.
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

// course: compass bearing of the direction of flight, radians clockwise from north.
// Returns the logged heading, radians, wrapped to (-pi, pi].
double LogHeading(double course);

// The compass course (radians in [0, 2 pi)) a logged heading stands for.
double CourseOfLogHeading(double heading);

// bank: radians, positive with the right wing down. Returns the logged roll.
double LogRoll(double bank);

// pitch: radians, positive nose up. Returns the logged pitch.
double LogPitch(double pitch);

// The bank (radians, positive with the right wing down) a logged roll stands for.
double BankOfLogRoll(double roll);

// The pitch (radians, positive nose up) a logged pitch stands for.
double PitchOfLogPitch(double pitch);
