#pragma once
#include <cstddef>
#include <vector>

#include <osg/Geometry>
#include <osg/Group>
#include <osg/ref_ptr>

#include "check/PhotoCheck.h"
#include "geo/MapProjection.h"
#include "log/SampleRow.h"
#include "scene/CameraView.h"
#include "track/CameraAttitude.h"
#include "track/CameraTriggers.h"

// The photos of the selected flight in the scene: a marker where each was taken and its
// footprint on the drawn ground, cast once (a photo's footprint does not move). Those taken by
// the clock's time are drawn bright, the rest faint; each frame only moves the split.

// The pose of a camera fixed to a body with the attitude given (radians: roll right wing
// down, pitch nose up, yaw the heading), looking straight down through it, the picture's top
// towards the nose (its long side across the track).
CameraPose NadirPoseOfBody(double roll, double pitch, double yaw, double horizontalFov, double verticalFov);

// Where a photo looked: the gimbal's attitude at its time where the flight records one (a
// camera on a gimbal does not look through the airframe, whatever attitude the trigger
// logged); else the attitude logged with the photo, straight down through the airframe; else
// the aircraft's attitude from the rows at its time, the same way. The angles of view given.
CameraPose PhotoPose(const TimedPhoto& photo, const std::vector<TimedGimbal>& gimbal, const std::vector<SampleRow>& rows, double horizontalFov, double verticalFov);

// The angles of view of the photos: the named camera's, else `diagonalFovDegrees` (--fov)
// over a 16:9 picture, as the gimbal's view takes it.
void PhotoFieldOfView(const CameraModel* camera, double diagonalFovDegrees, double* horizontal, double* vertical);

class PhotosOnClock
{
public:
    // Casts every photo's footprint from its place over `ground` (the drawn terrain's height,
    // `fallbackGround` where it has none, as the camera's view takes them).
    PhotosOnClock(const MapFrameValues& frame, const GroundHeight& ground, double fallbackGround, const std::vector<TimedPhoto>& photos, const std::vector<TimedGimbal>& gimbal,
                  const std::vector<SampleRow>& rows, double horizontalFov, double verticalFov);
    osg::Group* Root() const { return root.get(); }

    // Draws the photos taken by `time` (gps_time) bright, the others faint.
    void ShowAt(double time);
    // The photos drawn, and how many of them are bright.
    size_t Count() const { return times.size(); }
    size_t Taken() const { return taken; }
    // A photo's footprint as cast, for whoever checks it.
    const ViewFootprint& Footprint(size_t photo) const { return footprints[photo]; }

private:
    osg::ref_ptr<osg::Group> root;
    osg::ref_ptr<osg::DrawArrays> brightOutlines, faintOutlines, brightMarkers, faintMarkers;
    std::vector<double> times; // of the photos drawn, in order
    std::vector<ViewFootprint> footprints;
    size_t taken = static_cast<size_t>(-1);
};
