#include "record/RecordCameras.h"

#include <algorithm>
#include <cmath>

#include "geo/MapFrame.h"

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

ChaseCamera::ChaseCamera(double unitsPerMetre) : unitsPerMetre(unitsPerMetre)
{
}

osg::Matrixd ChaseCamera::View(const osg::Vec3d& aircraft, double newCourse, bool moving, double seconds,
                               double (*groundUnder)(double x, double y))
{
    if (!started)
    {
        course = moving ? newCourse : 0.0;
        started = true;
    }
    else if (moving)
        course = FollowCourse(course, newCourse, seconds);
    const osg::Vec3d ahead(std::cos(course), std::sin(course), 0.0);
    osg::Vec3d eye = aircraft - ahead * (ChaseDistance * unitsPerMetre) + osg::Vec3d(0.0, 0.0, ChaseHeight * unitsPerMetre);
    if (groundUnder)
        eye.z() = std::max(eye.z(), groundUnder(eye.x(), eye.y()) + ChaseClearance * unitsPerMetre);
    return osg::Matrixd::lookAt(eye, aircraft + osg::Vec3d(0.0, 0.0, ChaseAim * unitsPerMetre), osg::Vec3d(0.0, 0.0, 1.0));
}

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
