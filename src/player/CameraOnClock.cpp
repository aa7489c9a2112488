#include "player/CameraOnClock.h"

#include <algorithm>
#include <cmath>

#include "geo/Geodesy.h"

namespace
{


} // namespace

bool GimbalAt(const std::vector<TimedGimbal>& gimbal, double time, TimedGimbal* attitude)
{
    if (gimbal.empty() || !std::isfinite(time))
        return false;
    const double margin = LongestGimbalGap / 2.0;
    if (time < gimbal.front().time - margin || time > gimbal.back().time + margin)
        return false;
    const auto after = std::upper_bound(gimbal.begin(), gimbal.end(), time, [](double t, const TimedGimbal& g) { return t < g.time; });
    if (after == gimbal.begin())
    {
        *attitude = gimbal.front();
        return true;
    }
    const TimedGimbal& a = *(after - 1);
    if (after == gimbal.end() || a.time == time)
    {
        *attitude = a;
        return true;
    }
    const TimedGimbal& b = *after;
    if (b.time - a.time > LongestGimbalGap)
        return false;
    const double f = (time - a.time) / (b.time - a.time);
    *attitude = a;
    attitude->time = time;
    attitude->pitch = a.pitch + f * WrapAngle(b.pitch - a.pitch);
    attitude->roll = a.roll + f * WrapAngle(b.roll - a.roll);
    attitude->yaw = WrapAngle(a.yaw + f * WrapAngle(b.yaw - a.yaw));
    return true;
}

CameraPose PoseOfGimbal(const TimedGimbal& attitude, double diagonalFov)
{
    CameraPose pose;
    pose.pitch = attitude.pitch;
    pose.roll = attitude.roll;
    pose.yaw = attitude.yaw;
    if (std::isfinite(attitude.horizontalFov) && std::isfinite(attitude.verticalFov))
    {
        pose.horizontalFov = attitude.horizontalFov;
        pose.verticalFov = attitude.verticalFov;
    }
    else
        FieldOfViewOfDiagonal(diagonalFov, &pose.horizontalFov, &pose.verticalFov);
    return pose;
}

CameraOnClock::CameraOnClock(const MapFrameValues& frame, GroundHeight ground, double fallbackGround, double diagonalFovDegrees)
    : view(frame, std::move(ground), fallbackGround), diagonalFov(diagonalFovDegrees * RadiansPerDegree)
{
}

void CameraOnClock::ShowAt(const std::vector<TimedGimbal>& gimbal, double time, const osg::Vec3d& eye)
{
    TimedGimbal attitude;
    if (GimbalAt(gimbal, time, &attitude))
        view.Show(eye, PoseOfGimbal(attitude, diagonalFov));
    else
        view.Hide();
}
