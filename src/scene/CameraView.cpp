#include "scene/CameraView.h"

#include <algorithm>
#include <cmath>

#include <osg/LineWidth>
#include <osg/StateSet>

namespace
{

const double SmallestStep = 2.0;   // metres along a ray: finer than the terrain's finest cells
const double LargestStep = 50.0;   // metres: no ridge thinner than this is skipped
const int Bisections = 24;         // halvings of the last step: well under a millimetre
const double OutlineLift = 0.5;    // metres the footprint is drawn above the ground, clear of it
const osg::Vec4 EdgeColour(1.0f, 0.95f, 0.55f, 1.0f);
const osg::Vec4 FootprintColour(0.25f, 0.95f, 1.0f, 1.0f);
const size_t OutlinePoints = 4 * static_cast<size_t>(FootprintPointsPerEdge - 1);

// The ray's height above the ground at `point`, in frame units.
double Clearance(const MapFrameValues& frame, const GroundHeight& ground, double fallbackGround, const osg::Vec3d& point)
{
    double height = ground ? ground(GridRowLatitude(point.x() + frame.CI), GridColumnLongitude(point.y() + frame.CJ)) : NAN;
    if (!std::isfinite(height))
        height = fallbackGround;
    return point.z() - height * frame.k;
}

// The picture's point at step `i` around its edges, clockwise from the top left corner.
void PicturePoint(size_t i, double* u, double* v)
{
    const size_t perEdge = static_cast<size_t>(FootprintPointsPerEdge - 1);
    const double f = 2.0 * static_cast<double>(i % perEdge) / static_cast<double>(perEdge);
    switch (i / perEdge)
    {
    case 0: // top, left to right
        *u = -1.0 + f;
        *v = -1.0;
        break;
    case 1: // right, top to bottom
        *u = 1.0;
        *v = -1.0 + f;
        break;
    case 2: // bottom, right to left
        *u = 1.0 - f;
        *v = 1.0;
        break;
    default: // left, bottom to top
        *u = -1.0;
        *v = 1.0 - f;
        break;
    }
}

osg::ref_ptr<osg::Geometry> Lines(GLenum mode, size_t count, const osg::Vec4& colour, float width)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setDataVariance(osg::Object::DYNAMIC);
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(new osg::Vec3Array(static_cast<unsigned>(count)));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(colour);
    geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(new osg::DrawArrays(mode, 0, static_cast<GLsizei>(count)));
    geometry->getOrCreateStateSet()->setAttributeAndModes(new osg::LineWidth(width));
    return geometry;
}

} // namespace

osg::Vec3d ViewRay(const CameraPose& pose, double u, double v)
{
    // Forward, right, down in the camera, turned into north, east, down by the yaw about
    // down, then the pitch about right, then the roll about forward.
    const double forward = 1.0, right = u * std::tan(pose.horizontalFov / 2.0), down = v * std::tan(pose.verticalFov / 2.0);
    const double cr = std::cos(pose.roll), sr = std::sin(pose.roll);
    const double cp = std::cos(pose.pitch), sp = std::sin(pose.pitch);
    const double cy = std::cos(pose.yaw), sy = std::sin(pose.yaw);
    // Roll about forward.
    const double r1 = cr * right - sr * down, d1 = sr * right + cr * down;
    // Pitch about right.
    const double f2 = cp * forward + sp * d1, d2 = -sp * forward + cp * d1;
    // Yaw about down.
    const double north = cy * f2 - sy * r1, east = sy * f2 + cy * r1;
    osg::Vec3d ray(-north, east, -d2); // x grows south, z up
    ray.normalize();
    return ray;
}

osg::Vec3d CastViewRay(const MapFrameValues& frame, const GroundHeight& ground, double fallbackGround, const osg::Vec3d& eye, const osg::Vec3d& direction, bool* grounded)
{
    const double reach = ViewReach * frame.k;
    double t = 0.0;
    double clearance = Clearance(frame, ground, fallbackGround, eye);
    *grounded = true;
    if (!(clearance > 0.0))
        return eye; // under the ground already: the view starts there
    while (t < reach)
    {
        const double step = std::clamp(clearance / 2.0, SmallestStep * frame.k, LargestStep * frame.k);
        const double next = std::min(t + step, reach);
        const double nextClearance = Clearance(frame, ground, fallbackGround, eye + direction * next);
        if (nextClearance <= 0.0)
        {
            double above = t, below = next;
            for (int i = 0; i < Bisections; ++i)
            {
                const double middle = (above + below) / 2.0;
                (Clearance(frame, ground, fallbackGround, eye + direction * middle) > 0.0 ? above : below) = middle;
            }
            return eye + direction * below;
        }
        t = next;
        clearance = nextClearance;
    }
    *grounded = false;
    return eye + direction * reach;
}

ViewFootprint CastFootprint(const MapFrameValues& frame, const GroundHeight& ground, double fallbackGround, const osg::Vec3d& eye, const CameraPose& pose)
{
    ViewFootprint view;
    view.eye = eye;
    view.outline.reserve(OutlinePoints);
    for (size_t i = 0; i < OutlinePoints; ++i)
    {
        double u = 0.0, v = 0.0;
        PicturePoint(i, &u, &v);
        bool grounded = false;
        view.outline.push_back(CastViewRay(frame, ground, fallbackGround, eye, ViewRay(pose, u, v), &grounded));
        if (i % static_cast<size_t>(FootprintPointsPerEdge - 1) == 0)
        {
            const size_t corner = i / static_cast<size_t>(FootprintPointsPerEdge - 1);
            view.corners[corner] = view.outline.back();
            view.grounded[corner] = grounded;
        }
    }
    return view;
}

CameraView::CameraView(const MapFrameValues& frame, GroundHeight ground, double fallbackGround)
    : frame(frame), ground(std::move(ground)), fallbackGround(fallbackGround), root(new osg::Group)
{
    edges = Lines(GL_LINES, 8, EdgeColour, 1.5f);
    outline = Lines(GL_LINE_LOOP, OutlinePoints, FootprintColour, 2.5f);
    root->addChild(edges.get());
    root->addChild(outline.get());
    root->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    root->setNodeMask(0u);
}

void CameraView::Show(const osg::Vec3d& eye, const CameraPose& pose)
{
    shown = true;
    if (!enabled)
        return;
    last = CastFootprint(frame, ground, fallbackGround, eye, pose);
    osg::Vec3Array* edgeVertices = static_cast<osg::Vec3Array*>(edges->getVertexArray());
    for (size_t c = 0; c < 4; ++c)
    {
        (*edgeVertices)[2 * c] = osg::Vec3f(eye);
        (*edgeVertices)[2 * c + 1] = osg::Vec3f(last.corners[c]);
    }
    osg::Vec3Array* outlineVertices = static_cast<osg::Vec3Array*>(outline->getVertexArray());
    const osg::Vec3d lift(0.0, 0.0, OutlineLift * frame.k);
    for (size_t i = 0; i < OutlinePoints; ++i)
        (*outlineVertices)[i] = osg::Vec3f(last.outline[i] + lift);
    edgeVertices->dirty();
    outlineVertices->dirty();
    edges->dirtyBound();
    outline->dirtyBound();
    root->setNodeMask(~0u);
}

void CameraView::Hide()
{
    shown = false;
    root->setNodeMask(0u);
}

void CameraView::SetEnabled(bool on)
{
    enabled = on;
    if (!on)
        root->setNodeMask(0u);
}
