#pragma once
#include <memory>
#include <vector>

#include <osg/Group>
#include <osg/Vec3d>

#include "geo/MapProjection.h"
#include "scene/CameraView.h"
#include "track/CameraAttitude.h"

// Where the camera looked at the clock: the gimbal's attitude of the selected flight at a
// time of its log, and its view and footprint drawn from the aircraft there.

// Records further apart than this leave the camera unknown between them, as the log's gaps
// leave the aircraft; so does a time further than half of it beyond the first or last.
const double LongestGimbalGap = 5.0; // seconds

// The attitude at `time` (gps_time) of `gimbal` (sorted by time): between two records each
// angle linear the shorter way round, the angles of view those of the record before. False
// where it is unknown: no records, a gap, or beyond the ends.
bool GimbalAt(const std::vector<TimedGimbal>& gimbal, double time, TimedGimbal* attitude);

// The pose drawn for an attitude: its own angles of view, else those of `diagonalFov`
// (radians) over a 16:9 picture.
CameraPose PoseOfGimbal(const TimedGimbal& attitude, double diagonalFov);

// The drawn view, for the player and the recorder: hung under the scene once, moved at each
// position of the clock, switched by the user.
class CameraOnClock
{
public:
    // `diagonalFovDegrees` as --fov gives it; the drawn ground as in the plan's layers.
    CameraOnClock(const MapFrameValues& frame, GroundHeight ground, double fallbackGround, double diagonalFovDegrees);
    osg::Group* Root() const { return view.Root(); }

    // Draws the view from `eye` (frame units) of the attitude of `gimbal` at `time`, or
    // nothing when it is unknown there.
    void ShowAt(const std::vector<TimedGimbal>& gimbal, double time, const osg::Vec3d& eye);
    void Toggle() { view.SetEnabled(!view.Enabled()); }
    bool Enabled() const { return view.Enabled(); }
    const CameraView& View() const { return view; }

private:
    CameraView view;
    double diagonalFov; // radians
};
