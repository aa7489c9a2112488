#pragma once
#include <osg/Group>
#include <osg/ref_ptr>

// A textured backdrop sphere of radius 200 around the origin, drawn first and behind
// everything. Null when "sky12q-1024x512.jpeg" cannot be read.
osg::ref_ptr<osg::Group> BuildSkyDome();
