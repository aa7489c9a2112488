#pragma once
#include <osg/Group>
#include <osg/ref_ptr>

#include "scene/TrackColouring.h"

// The flown track: one line strip through the scene positions of all accepted rows, white,
// or in the colouring's row colours when it has one per row (TrackColouring.h).
osg::ref_ptr<osg::Group> BuildTrack(const TrackColouring* colouring = nullptr);
