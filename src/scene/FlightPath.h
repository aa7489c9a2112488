#pragma once
#include <osg/AnimationPath>
#include <osg/ref_ptr>

struct SampleRow;

// The recorded flight plays three times faster than it was flown.
const double ReplaySpeedUp = 3.0;

// One looping control point per accepted row, SampleStep / ReplaySpeedUp seconds apart, at
// FlightPathPoint of the row.
osg::ref_ptr<osg::AnimationPath> BuildFlightPath();

// Where a row puts the aircraft: its scene position and attitude (roll, then pitch, then
// heading about the frame's axes).
osg::AnimationPath::ControlPoint FlightPathPoint(const SampleRow& row);
