#pragma once
#include <osg/Group>
#include <osg/ref_ptr>

// The root of the scene, lighting off: terrain, track, sky (when its texture exists) and the
// animated aircraft. Builders run in that order, so terrain messages come first.
osg::ref_ptr<osg::Group> BuildScene();
