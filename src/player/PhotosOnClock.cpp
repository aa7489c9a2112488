#include "player/PhotosOnClock.h"

#include <algorithm>
#include <cmath>

#include <osg/BlendFunc>
#include <osg/Geode>
#include <osg/LineWidth>
#include <osg/Point>
#include <osg/StateSet>

#include "geo/Geodesy.h"
#include "log/LogAttitude.h"
#include "player/CameraOnClock.h"

namespace
{

const double OutlineLift = 0.7; // metres above the ground, clear of it and of the gimbal's own footprint
const osg::Vec4 TakenColour(1.0f, 0.45f, 0.85f, 1.0f);
const osg::Vec4 PendingColour(1.0f, 0.75f, 0.92f, 0.35f);
const osg::Vec4 MarkerColour(1.0f, 1.0f, 0.3f, 1.0f);
const osg::Vec4 PendingMarkerColour(1.0f, 1.0f, 0.6f, 0.4f);

// The row at or just before `time`, or null when the rows do not reach it.
const SampleRow* RowAt(const std::vector<SampleRow>& rows, double time)
{
    if (rows.empty() || !std::isfinite(time))
        return nullptr;
    const auto after = std::upper_bound(rows.begin(), rows.end(), time, [](double t, const SampleRow& r) { return t < r.gps_time; });
    return after == rows.begin() ? &rows.front() : &*(after - 1);
}

osg::ref_ptr<osg::Geometry> Drawing(osg::Vec3Array* vertices, GLenum mode, const osg::Vec4& colour, osg::ref_ptr<osg::DrawArrays>* primitive)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setDataVariance(osg::Object::DYNAMIC);
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(vertices);
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(colour);
    geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    *primitive = new osg::DrawArrays(mode, 0, 0);
    geometry->addPrimitiveSet(primitive->get());
    if (colour.a() < 1.0f)
    {
        osg::StateSet* state = geometry->getOrCreateStateSet();
        state->setAttributeAndModes(new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA));
        state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    }
    return geometry;
}

} // namespace

CameraPose NadirPoseOfBody(double roll, double pitch, double yaw, double horizontalFov, double verticalFov)
{
    // The body's rotation to north, east, down (yaw, then pitch, then roll), times the camera's
    // in the body: its forward the body's down, its right the body's right, its down the tail.
    const double cr = std::cos(roll), sr = std::sin(roll), cp = std::cos(pitch), sp = std::sin(pitch), cy = std::cos(yaw), sy = std::sin(yaw);
    const double body[3][3] = {
        {cy * cp, cy * sp * sr - sy * cr, cy * sp * cr + sy * sr},
        {sy * cp, sy * sp * sr + cy * cr, sy * sp * cr - cy * sr},
        {-sp, cp * sr, cp * cr},
    };
    double camera[3][3];
    for (int i = 0; i < 3; ++i)
    {
        camera[i][0] = body[i][2];  // forward: the body's down
        camera[i][1] = body[i][1];  // right
        camera[i][2] = -body[i][0]; // down: towards the tail
    }
    CameraPose pose;
    pose.horizontalFov = horizontalFov;
    pose.verticalFov = verticalFov;
    pose.pitch = std::asin(std::clamp(-camera[2][0], -1.0, 1.0));
    if (std::fabs(std::cos(pose.pitch)) > 1e-9)
    {
        pose.roll = std::atan2(camera[2][1], camera[2][2]);
        pose.yaw = std::atan2(camera[1][0], camera[0][0]);
    }
    else
    {
        // Straight down (or up): the roll and the yaw turn about one axis; the yaw takes it all.
        pose.roll = 0.0;
        pose.yaw = std::atan2(-camera[0][1], camera[1][1]);
    }
    return pose;
}

CameraPose PhotoPose(const TimedPhoto& photo, const std::vector<TimedGimbal>& gimbal, const std::vector<SampleRow>& rows, double horizontalFov, double verticalFov)
{
    TimedGimbal attitude;
    if (GimbalAt(gimbal, photo.time, &attitude))
    {
        CameraPose pose;
        pose.pitch = attitude.pitch;
        pose.roll = attitude.roll;
        pose.yaw = attitude.yaw;
        pose.horizontalFov = horizontalFov;
        pose.verticalFov = verticalFov;
        return pose;
    }
    if (photo.HasAttitude())
        return NadirPoseOfBody(photo.roll, photo.pitch, photo.yaw, horizontalFov, verticalFov);
    const SampleRow* row = RowAt(rows, photo.time);
    if (!row)
        return NadirPoseOfBody(0.0, 0.0, 0.0, horizontalFov, verticalFov);
    return NadirPoseOfBody(BankOfLogRoll(row->pyro_curroll), PitchOfLogPitch(row->pyro_curpitch), CourseOfLogHeading(row->gps_curheading), horizontalFov, verticalFov);
}

void PhotoFieldOfView(const CameraModel* camera, double diagonalFovDegrees, double* horizontal, double* vertical)
{
    if (camera)
        CameraFieldOfView(*camera, horizontal, vertical);
    else
        FieldOfViewOfDiagonal(diagonalFovDegrees * RadiansPerDegree, horizontal, vertical);
}

PhotosOnClock::PhotosOnClock(const MapFrameValues& frame, const GroundHeight& ground, double fallbackGround, const std::vector<TimedPhoto>& photos, const std::vector<TimedGimbal>& gimbal,
                             const std::vector<SampleRow>& rows, double horizontalFov, double verticalFov)
    : root(new osg::Group)
{
    osg::ref_ptr<osg::Vec3Array> outlines = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec3Array> markers = new osg::Vec3Array;
    const osg::Vec3d lift(0.0, 0.0, OutlineLift * frame.k);
    for (const TimedPhoto& photo : photos)
    {
        double altitude = photo.altitude;
        if (!std::isfinite(altitude))
        {
            const SampleRow* row = RowAt(rows, photo.time);
            if (!row)
                continue;
            altitude = row->gps_curalt;
        }
        const osg::Vec3d eye(ScenePosition(frame, photo.latitude * 60.0, photo.longitude * 60.0, altitude));
        footprints.push_back(CastFootprint(frame, ground, fallbackGround, eye, PhotoPose(photo, gimbal, rows, horizontalFov, verticalFov)));
        times.push_back(photo.time);
        const std::vector<osg::Vec3d>& outline = footprints.back().outline;
        for (size_t i = 0; i < outline.size(); ++i)
        {
            outlines->push_back(osg::Vec3f(outline[i] + lift));
            outlines->push_back(osg::Vec3f(outline[(i + 1) % outline.size()] + lift));
        }
        markers->push_back(osg::Vec3f(eye));
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(Drawing(outlines.get(), GL_LINES, TakenColour, &brightOutlines).get());
    geode->addDrawable(Drawing(outlines.get(), GL_LINES, PendingColour, &faintOutlines).get());
    geode->addDrawable(Drawing(markers.get(), GL_POINTS, MarkerColour, &brightMarkers).get());
    geode->addDrawable(Drawing(markers.get(), GL_POINTS, PendingMarkerColour, &faintMarkers).get());
    osg::StateSet* state = root->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setAttributeAndModes(new osg::LineWidth(2.0f));
    state->setAttributeAndModes(new osg::Point(7.0f));
    root->addChild(geode.get());
    ShowAt(-INFINITY);
}

void PhotosOnClock::ShowAt(double time)
{
    const size_t now = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), time) - times.begin());
    if (now == taken)
        return;
    taken = now;
    const GLsizei perOutline = 2 * 4 * (FootprintPointsPerEdge - 1);
    const GLsizei count = static_cast<GLsizei>(times.size()), bright = static_cast<GLsizei>(taken);
    brightOutlines->setFirst(0);
    brightOutlines->setCount(bright * perOutline);
    faintOutlines->setFirst(bright * perOutline);
    faintOutlines->setCount((count - bright) * perOutline);
    brightMarkers->setFirst(0);
    brightMarkers->setCount(bright);
    faintMarkers->setFirst(bright);
    faintMarkers->setCount(count - bright);
    for (osg::DrawArrays* drawing : {brightOutlines.get(), faintOutlines.get(), brightMarkers.get(), faintMarkers.get()})
        drawing->dirty();
}
