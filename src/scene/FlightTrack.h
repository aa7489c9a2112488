#pragma once
#include <osg/Group>
#include <osg/ref_ptr>

// The flown track: one white line strip through the scene positions of all accepted rows.
osg::ref_ptr<osg::Group> BuildTrack();
