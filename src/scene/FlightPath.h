#pragma once
#include <osg/AnimationPath>
#include <osg/ref_ptr>

#include "geo/MapProjection.h"
#include "log/SampleRow.h"

// The recorded flight plays three times faster than it was flown.
const double ReplaySpeedUp = 3.0;

// One looping control point per accepted row, SampleStep / ReplaySpeedUp seconds apart, at
// FlightPathPoint of the row.
osg::ref_ptr<osg::AnimationPath> BuildFlightPath(const FlightRows& flight, const MapFrameValues& frame);
// The replay's: over its table, in its frame.
osg::ref_ptr<osg::AnimationPath> BuildFlightPath();

// Where a row puts the aircraft: its scene position and attitude (roll, then pitch, then
// heading about the frame's axes).
osg::AnimationPath::ControlPoint FlightPathPoint(const MapFrameValues& frame, const SampleRow& row);
osg::AnimationPath::ControlPoint FlightPathPoint(const SampleRow& row); // in the replay's frame
