#include "player/NearPlane.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "geo/MapProjection.h"
#include "terrain/TerrainHeight.h"

namespace
{
// However near the aircraft or the ground, the near plane stays at least this share of the far
// plane's distance: a 24-bit depth buffer then still tells the terrain from the track at ten
// kilometres.
const double SmallestNearFarRatio = 1e-6;

// The same margins the scene graph's own clamp leaves around what it measured.
const double NearPull = 0.98;
const double FarPush = 1.02;
} // namespace

double DrawnGroundUnder(const MapFrameValues& frame, double x, double y)
{
    // Where no tile covers the point the terrain is drawn at 0 m, which `metres` then holds.
    const TerrainHeight ground = TerrainHeightAtGrid(frame.CI + x, frame.CJ + y, TileReports::Quiet);
    return ground.metres * frame.k;
}

GroundUnderFunction DrawnGroundIn(const MapFrameValues& frame)
{
    return [frame](double x, double y) { return DrawnGroundUnder(frame, x, y); };
}

NearPlaneInFront::NearPlaneInFront(osg::Camera* camera, osg::Node* aircraft, GroundUnderFunction groundUnder)
    : camera(camera), aircraft(aircraft), groundUnder(std::move(groundUnder))
{
}

double NearPlaneInFront::NearestAllowed(const osg::Vec3d& eye) const
{
    double nearest = std::numeric_limits<double>::infinity();
    osg::ref_ptr<osg::Node> model;
    if (aircraft.lock(model))
    {
        const osg::BoundingSphere bound = model->getBound();
        if (bound.valid())
            nearest = std::max((osg::Vec3d(bound.center()) - eye).length() - bound.radius(), 0.0);
    }
    // From below the ground, its underside is nothing a camera has to show.
    if (groundUnder)
    {
        const double height = eye.z() - groundUnder(eye.x(), eye.y());
        if (height > 0.0)
            nearest = std::min(nearest, height);
    }
    return nearest / 2.0;
}

template <class Matrix>
bool NearPlaneInFront::Clamp(Matrix& projection, double& znear, double& zfar) const
{
    const double epsilon = 1e-6;
    if (zfar < znear - epsilon)
        return false; // nothing in view was measured
    if (zfar < znear + epsilon)
    {
        const double middle = (znear + zfar) / 2.0;
        znear = middle - epsilon;
        zfar = middle + epsilon;
    }

    const bool orthographic = std::fabs(projection(0, 3)) < epsilon && std::fabs(projection(1, 3)) < epsilon && std::fabs(projection(2, 3)) < epsilon;
    double nearest;
    double farthest;
    if (orthographic)
    {
        const double margin = std::max((zfar - znear) * 0.02, 1.0);
        nearest = znear - margin;
        farthest = zfar + margin;
        projection(2, 2) = -2.0 / (farthest - nearest);
        projection(3, 2) = -(farthest + nearest) / (farthest - nearest);
    }
    else
    {
        farthest = zfar * FarPush;
        osg::ref_ptr<osg::Camera> owner;
        const double ratio = camera.lock(owner) ? owner->getNearFarRatio() : 0.0005;
        nearest = std::max(znear * NearPull, farthest * ratio);
        if (owner)
            nearest = std::min(nearest, std::max(NearestAllowed(owner->getInverseViewMatrix().getTrans()), farthest * SmallestNearFarRatio));

        // The projection's depth rows are remapped so that eye depths -nearest and -farthest
        // land on the ends of the clip range; its other rows (a picture lifted above the
        // plots, say) stay as they are.
        auto clipDepth = [&projection](double depth) {
            return (-depth * projection(2, 2) + projection(3, 2)) / (-depth * projection(2, 3) + projection(3, 3));
        };
        const double nearDepth = clipDepth(nearest);
        const double farDepth = clipDepth(farthest);
        const double scale = std::fabs(2.0 / (nearDepth - farDepth));
        const double centre = -(nearDepth + farDepth) / 2.0;
        projection.postMult(Matrix(1.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, scale, 0.0, 0.0, 0.0, centre * scale, 1.0));
    }
    znear = nearest;
    zfar = farthest;
    return true;
}

bool NearPlaneInFront::clampProjectionMatrixImplementation(osg::Matrixf& projection, double& znear, double& zfar) const
{
    return Clamp(projection, znear, zfar);
}

bool NearPlaneInFront::clampProjectionMatrixImplementation(osg::Matrixd& projection, double& znear, double& zfar) const
{
    return Clamp(projection, znear, zfar);
}

void KeepNearPlaneInFront(osg::Camera& camera, osg::Node* aircraft, GroundUnderFunction groundUnder)
{
    camera.setClampProjectionMatrixCallback(new NearPlaneInFront(&camera, aircraft, std::move(groundUnder)));
}
