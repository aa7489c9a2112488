#pragma once
#include <osg/Group>
#include <osg/Vec4>
#include <osg/ref_ptr>

#include "log/SampleTable.h"
#include "scene/TrackColouring.h"

// The flown track: one line strip through the scene positions of all accepted rows, white,
// or in the colouring's row colours when it has one per row (TrackColouring.h).
osg::ref_ptr<osg::Group> BuildTrack(const TrackColouring* colouring = nullptr);
// The track of the rows of `table` in one colour, as wide as a coloured track: one flight
// among others.
osg::ref_ptr<osg::Group> BuildTrackInColour(const SampleTableValues& table, const osg::Vec4& colour);
