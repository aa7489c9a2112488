#pragma once
#include <osg/Group>
#include <osg/ref_ptr>

// The ground: 249 textured patches in six nested levels (zoom 18 down to 13) around the
// map-frame origin tile, one geode each, in level, row and column order.
osg::ref_ptr<osg::Group> BuildTerrain();
