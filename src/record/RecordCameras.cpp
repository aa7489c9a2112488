#include "record/RecordCameras.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <osg/MatrixTransform>

#include "geo/MapProjection.h"

namespace
{
template <class Camera>
std::unique_ptr<RecordingCamera> Make(const CameraSubject& subject)
{
    return std::make_unique<Camera>(subject);
}

struct OverviewFraming
{
    osg::Matrixd view;
    double distance = 0.0; // from the eye to the box's centre, frame units
};

// The overview of `points` (at least one) for a picture whose track may take `upShare` of
// its height.
OverviewFraming FrameOverview(const std::vector<osg::Vec3d>& points, double unitsPerMetre, double verticalFov,
                              double aspect, double upShare)
{
    osg::Vec3d low = points.front();
    osg::Vec3d high = points.front();
    for (const osg::Vec3d& point : points)
        for (int axis = 0; axis < 3; ++axis)
        {
            low[axis] = std::min(low[axis], point[axis]);
            high[axis] = std::max(high[axis], point[axis]);
        }
    const osg::Vec3d centre = (low + high) * 0.5;

    // Looking north-north-east and down: x grows southwards, so the eye lies towards +x.
    const double down = 35.0 * Pi / 180.0;
    const double bearing = 20.0 * Pi / 180.0; // of the view, east of north
    const osg::Vec3d towardsEye(std::cos(bearing) * std::cos(down), -std::sin(bearing) * std::cos(down), std::sin(down));
    const osg::Vec3d worldUp(0.0, 0.0, 1.0);
    const osg::Vec3d right = ((-towardsEye) ^ worldUp) / ((-towardsEye) ^ worldUp).length();
    const osg::Vec3d up = right ^ (-towardsEye);

    // A point at offsets (across, upwards, towards the eye) from the centre lies inside the
    // frame when the eye is at least this far from the centre: its offset across (or up)
    // over the slope of the frame's edge, plus how much nearer the eye it lies.
    const double tanHalf = std::tan(verticalFov / 2.0 * Pi / 180.0);
    const double tanUp = tanHalf * std::clamp(upShare, 0.1, 1.0);
    const double tanAcross = tanHalf * 0.9 * std::max(aspect, 1e-3);
    const double least = OverviewLeastExtent * unitsPerMetre / 2.0;
    double distance = std::max(least / tanAcross, least / tanUp);
    for (const osg::Vec3d& point : points)
    {
        const osg::Vec3d offset = point - centre;
        const double needed = (offset * towardsEye) + std::max(std::fabs(offset * right) / tanAcross, std::fabs(offset * up) / tanUp);
        distance = std::max(distance, needed);
    }
    return OverviewFraming{osg::Matrixd::lookAt(centre + towardsEye * distance, centre, worldUp), distance};
}

// Scales the model under the transform that moves the aircraft, about its own origin, so
// that its bounding radius is at least `radius` (frame units).
void EnlargeAircraft(osg::MatrixTransform* mover, double radius)
{
    if (mover->getNumChildren() == 0)
        return;
    double modelRadius = 0.0;
    for (unsigned int child = 0; child < mover->getNumChildren(); ++child)
        modelRadius = std::max(modelRadius, static_cast<double>(mover->getChild(child)->getBound().radius()));
    if (!(modelRadius > 0.0) || modelRadius >= radius)
        return;
    const double scale = radius / modelRadius;
    osg::ref_ptr<osg::MatrixTransform> enlarged = new osg::MatrixTransform(osg::Matrixd::scale(scale, scale, scale));
    while (mover->getNumChildren() > 0)
    {
        enlarged->addChild(mover->getChild(0));
        mover->removeChild(0u);
    }
    mover->addChild(enlarged.get());
}
} // namespace

const std::vector<RecordCameraKind>& RecordCameraKinds()
{
    static const std::vector<RecordCameraKind> kinds = {
        {"chase", "behind and a little above the aircraft, turning smoothly with its heading", Make<ChaseCamera>},
        {"overview", "fixed, oblique, holding the whole track, the aircraft drawn larger", Make<OverviewCamera>},
    };
    return kinds;
}

double FollowCourse(double course, double target, double seconds)
{
    // The difference the short way round, in [-pi, pi).
    double turn = std::fmod(target - course + Pi, TwoPi);
    if (turn < 0.0)
        turn += TwoPi;
    turn -= Pi;
    const double share = seconds > 0.0 ? 1.0 - std::exp(-seconds / ChaseCourseLag) : 0.0;
    return course + turn * share;
}

osg::Matrixd ChaseCamera::View(double position, double seconds)
{
    const osg::Matrixd at = subject.aircraftAt(position);
    // The nose points along +y before the rotation (scene/AttitudeConvention.h); roll turns
    // about that axis, so only pitch shortens the nose's way over the ground.
    osg::Vec3d ahead = at.getRotate() * osg::Vec3d(0.0, 1.0, 0.0);
    bool believed = std::hypot(ahead.x(), ahead.y()) > 0.1; // within some 84 degrees of level
    if (subject.headingIsCourse)
    {
        // A course from the positions, taken over the whole window: steadier than the
        // logged one, made over a row or two.
        const double halfWindow = ChaseCourseWindow / 2.0 / subject.rowSeconds;
        const double lastPosition = subject.rows - 1;
        const double from = std::max(position - halfWindow, 0.0);
        const double to = std::min(position + halfWindow, lastPosition);
        const osg::Vec3d move = subject.aircraftAt(to).getTrans() - subject.aircraftAt(from).getTrans();
        const double covered = std::hypot(move.x(), move.y()) / subject.unitsPerMetre;
        if (to > from && covered >= ChaseCourseSpeed * (to - from) * subject.rowSeconds)
            ahead = move;
        else
            believed = false;
    }
    return ViewAlong(at.getTrans(), std::atan2(ahead.y(), ahead.x()), believed, seconds);
}

osg::Matrixd ChaseCamera::ViewAlong(const osg::Vec3d& aircraft, double newCourse, bool believed, double seconds)
{
    if (!started)
    {
        course = std::isfinite(newCourse) ? newCourse : 0.0;
        started = true;
    }
    else if (believed)
        course = FollowCourse(course, newCourse, seconds);
    const double unitsPerMetre = subject.unitsPerMetre;
    const osg::Vec3d ahead(std::cos(course), std::sin(course), 0.0);
    // An aircraft the log puts below the drawn ground (a baro offset, a simulator's field) is
    // followed where it meets the ground: the camera stays above the terrain and looks ahead
    // along the way, never at the terrain's underside; the display gives the height below.
    osg::Vec3d followed = aircraft;
    if (subject.groundUnder)
        followed.z() = std::max(followed.z(), subject.groundUnder(aircraft.x(), aircraft.y()));
    osg::Vec3d eye = followed - ahead * (ChaseDistance * unitsPerMetre) + osg::Vec3d(0.0, 0.0, ChaseHeight * unitsPerMetre);
    if (subject.groundUnder)
        eye.z() = std::max(eye.z(), subject.groundUnder(eye.x(), eye.y()) + ChaseClearance * unitsPerMetre);
    return osg::Matrixd::lookAt(eye, followed + osg::Vec3d(0.0, 0.0, ChaseAim * unitsPerMetre), osg::Vec3d(0.0, 0.0, 1.0));
}

void OverviewCamera::SetUp(const CameraPicture& picture, osg::MatrixTransform* aircraft)
{
    std::vector<osg::Vec3d> track;
    track.reserve(subject.rows);
    for (int32_t row = 0; row < subject.rows; ++row)
        track.push_back(subject.aircraftAt(row).getTrans());
    track.insert(track.end(), subject.others.begin(), subject.others.end());
    const OverviewFraming framing =
        FrameOverview(track, subject.unitsPerMetre, picture.verticalFov, picture.aspect, (picture.display ? 0.75 : 0.9) * (1.0 - picture.covered));
    view = framing.view;
    const double pictureHeight = 2.0 * framing.distance * std::tan(picture.verticalFov / 2.0 * Pi / 180.0);
    if (aircraft)
        EnlargeAircraft(aircraft, OverviewAircraftShare * pictureHeight);
}
