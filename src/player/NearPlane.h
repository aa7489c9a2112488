#pragma once
#include <functional>

#include <osg/Camera>
#include <osg/Node>
#include <osg/observer_ptr>

#include "geo/MapProjection.h"

// The scene graph's cull picks the near plane from the bounds of what is in view and keeps it
// at least a fixed share of the far plane's distance. A long flight's track and terrain reach
// hundreds of kilometres along its axis, so that share alone put the near plane some 150 m
// out: the aircraft chased from 40 m vanished, and close ground was cut away. The callback
// below keeps the near plane in front of the two things a camera of the player always shows
// whole, the aircraft and the ground under the eye, and otherwise leaves the cull's choice.

// The height of the drawn ground under frame point (x, y), frame units.
using GroundUnderFunction = std::function<double(double x, double y)>;

// The height of the ground the player's terrain draws under point (x, y) of `frame`, in frame
// units: the elevation tiles' surface, 0 m where they have no data, as the terrain draws it.
double DrawnGroundUnder(const MapFrameValues& frame, double x, double y);
GroundUnderFunction DrawnGroundIn(const MapFrameValues& frame);

class NearPlaneInFront : public osg::CullSettings::ClampProjectionMatrixCallback
{
public:
    // `camera` owns this callback and `aircraft` is owned by the scene: neither is held, so
    // that the callback keeps nothing alive. `groundUnder` may be empty (no ground is known).
    NearPlaneInFront(osg::Camera* camera, osg::Node* aircraft, GroundUnderFunction groundUnder);

    bool clampProjectionMatrixImplementation(osg::Matrixf& projection, double& znear, double& zfar) const override;
    bool clampProjectionMatrixImplementation(osg::Matrixd& projection, double& znear, double& zfar) const override;

    // The nearest distance, frame units, that the near plane may lie at for an eye at `eye`:
    // half the way to the aircraft's bounding sphere or to the ground below the eye, whichever
    // is nearer; infinite when neither is known or both are behind.
    double NearestAllowed(const osg::Vec3d& eye) const;

private:
    template <class Matrix>
    bool Clamp(Matrix& projection, double& znear, double& zfar) const;

    osg::observer_ptr<osg::Camera> camera;
    osg::observer_ptr<osg::Node> aircraft;
    GroundUnderFunction groundUnder;
};

// Installs NearPlaneInFront on `camera` (the scene's camera; cameras that inherit its cull
// settings, such as an orthographic display, are clamped as the scene graph would).
void KeepNearPlaneInFront(osg::Camera& camera, osg::Node* aircraft, GroundUnderFunction groundUnder);
