#pragma once
#include <osg/Group>
#include <osg/MatrixTransform>
#include <osg/ref_ptr>

// Set once by BuildAircraft; the scene graph owns the node for the whole run.
extern osg::MatrixTransform* TrackedAircraft;

// The aircraft model (or the shape aircraft), stood upright and scaled to a bounding
// radius of 12 metres in a frame of k tile units per metre, under one transform.
osg::ref_ptr<osg::MatrixTransform> BuildAircraft(double k);
// The replay's, in its frame: sets TrackedAircraft to the transform.
osg::ref_ptr<osg::MatrixTransform> BuildAircraft();

// Four stretched spheres sharing one geode: wing, fuselage, fin and tailplane.
osg::ref_ptr<osg::Group> BuildShapeAircraft();
