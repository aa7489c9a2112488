#pragma once
#include <osg/Group>
#include <osg/Vec4>
#include <osg/ref_ptr>

#include "geo/MapProjection.h"
#include "log/SampleRow.h"
#include "scene/TrackColouring.h"

// The flown track: one line strip through the scene positions of all accepted rows, white,
// or in the colouring's row colours when it has one per row (TrackColouring.h).
osg::ref_ptr<osg::Group> BuildTrack(const FlightRows& flight, const MapFrameValues& frame, const TrackColouring* colouring = nullptr);
// The replay's: its table in its frame.
osg::ref_ptr<osg::Group> BuildTrack(const TrackColouring* colouring = nullptr);
// The track of `flight` in one colour, as wide as a coloured track: one flight
// among others.
osg::ref_ptr<osg::Group> BuildTrackInColour(const FlightRows& flight, const MapFrameValues& frame, const osg::Vec4& colour);
