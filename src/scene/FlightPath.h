#pragma once
#include <osg/AnimationPath>
#include <osg/ref_ptr>

// One looping control point per accepted row, SampleStep / 3 seconds apart, at the row's
// scene position and attitude (roll, then pitch, then heading about the frame's axes).
osg::ref_ptr<osg::AnimationPath> BuildFlightPath();
