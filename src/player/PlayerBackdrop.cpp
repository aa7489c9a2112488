#include "player/PlayerBackdrop.h"

#include <cmath>

#include <osg/ComputeBoundsVisitor>
#include <osg/Depth>
#include <osg/Geode>
#include <osg/Geometry>

#include "geo/Geodesy.h"
#include "terrain/PagedTerrain.h"

namespace
{
const double FarGroundRadius = 150.0; // frame units: inside the sky's 200, beyond any near plane

bool Culls(const osg::NodeVisitor* visitor)
{
    return visitor && visitor->getVisitorType() == osg::NodeVisitor::CULL_VISITOR;
}

// The lower half of a ball around the origin, coloured grass below and paler towards its rim.
osg::ref_ptr<osg::Geode> FarGroundBowl()
{
    const int bands = 12;
    const int segments = 48;
    const osg::Vec4 grass(0.33f, 0.42f, 0.22f, 1.0f);
    const osg::Vec4 haze(0.62f, 0.67f, 0.62f, 1.0f);
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    // Bands from the rim (0 degrees down) to the lowest point; the first ones narrow, where
    // the haze changes fastest.
    for (int band = 0; band <= bands; ++band)
    {
        const double share = static_cast<double>(band) / bands;
        const double down = share * share * Pi / 2.0;
        const float paleness = static_cast<float>(std::exp(-down / (4.0 * RadiansPerDegree)));
        for (int segment = 0; segment <= segments; ++segment)
        {
            const double around = TwoPi * segment / segments;
            vertices->push_back(osg::Vec3(static_cast<float>(FarGroundRadius * std::cos(down) * std::cos(around)),
                                          static_cast<float>(FarGroundRadius * std::cos(down) * std::sin(around)),
                                          static_cast<float>(-FarGroundRadius * std::sin(down))));
            colours->push_back(grass * (1.0f - paleness) + haze * paleness);
        }
    }
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setColorArray(colours.get(), osg::Array::BIND_PER_VERTEX);
    for (int band = 0; band < bands; ++band)
    {
        osg::ref_ptr<osg::DrawElementsUShort> strip = new osg::DrawElementsUShort(GL_TRIANGLE_STRIP);
        for (int segment = 0; segment <= segments; ++segment)
        {
            strip->push_back(static_cast<unsigned short>(band * (segments + 1) + segment));
            strip->push_back(static_cast<unsigned short>((band + 1) * (segments + 1) + segment));
        }
        geometry->addPrimitiveSet(strip.get());
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());

    // As the sky: every fragment passes and lands on the far end of the depth range; bin -1
    // draws it after the sky (bin -2), before everything else.
    osg::StateSet* state = geode->getOrCreateStateSet();
    osg::ref_ptr<osg::Depth> depth = new osg::Depth(osg::Depth::ALWAYS, 1.0, 1.0, true);
    state->setAttributeAndModes(depth.get(), osg::StateAttribute::ON);
    state->setMode(GL_CULL_FACE, osg::StateAttribute::OFF);
    state->setRenderBinDetails(-1, "RenderBin", osg::StateSet::USE_RENDERBIN_DETAILS);
    return geode;
}
} // namespace

void AroundTheEye::HoldAbove(double height)
{
    groundHeight = height;
    ground = true;
    dirtyBound();
}

bool AroundTheEye::computeLocalToWorldMatrix(osg::Matrix& matrix, osg::NodeVisitor* visitor) const
{
    if (!Culls(visitor))
        return true;
    const osg::Vec3d eye = visitor->getEyePoint();
    if (_referenceFrame == RELATIVE_RF)
        matrix.preMultTranslate(eye);
    else
        matrix.makeTranslate(eye);
    return true;
}

bool AroundTheEye::computeWorldToLocalMatrix(osg::Matrix& matrix, osg::NodeVisitor* visitor) const
{
    if (!Culls(visitor))
        return true;
    const osg::Vec3d eye = visitor->getEyePoint();
    if (_referenceFrame == RELATIVE_RF)
        matrix.postMultTranslate(-eye);
    else
        matrix.makeTranslate(-eye);
    return true;
}

osg::BoundingSphere AroundTheEye::computeBound() const
{
    return ground ? osg::BoundingSphere() : osg::Transform::computeBound();
}

void AroundTheEye::accept(osg::NodeVisitor& visitor)
{
    // The eye is taken here, in the coordinates the transform hangs in: below, the transform
    // has already moved them onto the eye. A visitor on its way up to the root passes.
    const bool down = visitor.getTraversalMode() != osg::NodeVisitor::TRAVERSE_PARENTS;
    if (ground && down && !(Culls(&visitor) && visitor.getEyePoint().z() > groundHeight))
        return;
    osg::Transform::accept(visitor);
}

void SurroundWithBackdrop(FlightScene& scene)
{
    if (scene.sky)
    {
        osg::ref_ptr<AroundTheEye> around = new AroundTheEye;
        around->setCullingActive(false);
        while (scene.sky->getNumChildren() > 0)
        {
            around->addChild(scene.sky->getChild(0));
            scene.sky->removeChild(0u);
        }
        scene.sky->addChild(around.get());
    }
    if (!scene.terrain)
        return;
    double lowest = 0.0;
    if (const PagedTerrain* paged = dynamic_cast<const PagedTerrain*>(scene.terrain.get()))
    {
        lowest = paged->LowestHeight();
    }
    else
    {
        osg::ComputeBoundsVisitor bounds;
        scene.terrain->accept(bounds);
        if (!bounds.getBoundingBox().valid())
            return;
        lowest = bounds.getBoundingBox().zMin();
    }
    osg::ref_ptr<AroundTheEye> ground = new AroundTheEye;
    ground->setName(FarGroundName);
    ground->setCullingActive(false);
    ground->HoldAbove(lowest);
    ground->addChild(FarGroundBowl().get());
    scene.root->insertChild(0, ground.get());
}
