#include "scene/Aircraft.h"

#include <cmath>

#include <osg/Geode>
#include <osg/Image>
#include <osg/Matrixd>
#include <osg/Quat>
#include <osg/ShapeDrawable>
#include <osg/StateSet>
#include <osg/Texture2D>
#include <osgDB/ReadFile>
#include <osgUtil/Optimizer>

#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"

// Set once while the scene is built; the scene graph owns the node for the whole run, so
// this handle does not keep it alive.
osg::MatrixTransform* TrackedAircraft = nullptr;

const double AircraftSize = 12.0; // metres: the radius the model's bounding sphere is scaled to

namespace
{
// One stretched unit sphere of the shape aircraft, in its own frame: x along the wing,
// y from nose to tail, z up.
struct ShapePart
{
    osg::Vec3d semiAxes;
    osg::Vec3d centre;
};

const ShapePart ShapeParts[] = {
    {{2.0, 0.3, 0.04}, {0.0, 0.0, 0.0}},     // wing
    {{0.1, 1.2, 0.2}, {0.0, 0.4, 0.0}},      // fuselage
    {{0.05, 0.15, 0.3}, {0.0, 1.3, 0.15}},   // fin
    {{0.7, 0.15, 0.03}, {0.0, 1.3, 0.4}},    // tailplane, on top of the fin
};
} // namespace

osg::ref_ptr<osg::Group> BuildShapeAircraft()
{
    osg::ref_ptr<osg::Group> group = new osg::Group;
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    osg::ref_ptr<osg::StateSet> stateSet = new osg::StateSet;

    osg::ref_ptr<osg::Image> image = osgDB::readImageFile(AircraftTextureFile);
    if (image)
    {
        osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
        texture->setImage(image.get());
        stateSet->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);
    }
    geode->setStateSet(stateSet.get());

    osg::ref_ptr<osg::TessellationHints> hints = new osg::TessellationHints;
    hints->setDetailRatio(0.5f);
    osg::ref_ptr<osg::Sphere> sphere = new osg::Sphere(osg::Vec3(0.0f, 0.0f, 0.0f), 1.0f);
    geode->addDrawable(new osg::ShapeDrawable(sphere.get(), hints.get()));

    for (const ShapePart& part : ShapeParts)
    {
        osg::ref_ptr<osg::MatrixTransform> transform = new osg::MatrixTransform;
        transform->addChild(geode.get());
        transform->setMatrix(osg::Matrixd::scale(part.semiAxes) * osg::Matrixd::translate(part.centre));
        // The scale stretches the normals too; renormalise them so the texture stays evenly lit.
        transform->getOrCreateStateSet()->setMode(GL_RESCALE_NORMAL, osg::StateAttribute::ON);
        group->addChild(transform.get());
    }
    return group;
}

osg::ref_ptr<osg::MatrixTransform> BuildAircraft()
{
    osg::ref_ptr<osg::MatrixTransform> transform = BuildAircraft(MapFrame.k);
    TrackedAircraft = transform.get();
    return transform;
}

osg::ref_ptr<osg::MatrixTransform> BuildAircraft(double k)
{
    osg::ref_ptr<osg::MatrixTransform> transform = new osg::MatrixTransform;

    osg::ref_ptr<osg::Node> node = osgDB::readNodeFile(AircraftModelFile);
    osg::Quat q;
    if (node)
    {
        // The model file has +y up: a quarter turn about x stands it on the frame's +z,
        // then a quarter turn back about z.
        q = osg::Quat(Pi / 2.0, osg::Vec3d(1.0, 0.0, 0.0)) * osg::Quat(-Pi / 2.0, osg::Vec3d(0.0, 0.0, 1.0));
    }
    else
    {
        node = BuildShapeAircraft();
        q = osg::Quat(Pi, osg::Vec3d(0.0, 0.0, 1.0)); // half turn: the tail goes to negative y
    }

    // An empty or broken model has no usable bound; scaling it as if its radius were 1 keeps
    // the matrix finite.
    double radius = node->getBound().radius();
    if (!(radius > 0.0) || !std::isfinite(radius))
        radius = 1.0;
    const double size = AircraftSize * k;
    const double s = size / radius;

    transform->addChild(node.get());
    // Turned and scaled about the model's own origin, not its bounding-sphere centre.
    transform->setMatrix(osg::Matrixd::scale(s, s, s) * osg::Matrixd::rotate(q));
    transform->getOrCreateStateSet()->setMode(GL_RESCALE_NORMAL, osg::StateAttribute::ON);

    osgUtil::Optimizer optimizer;
    optimizer.optimize(transform.get());
    return transform;
}
