#pragma once
#include <osg/Matrixd>
#include <osg/Vec3d>

#include "record/RecordingCamera.h"

// The recording's cameras (RecordingCamera.h); RecordCameraKinds() lists them.

// How the chase camera's direction follows the aircraft's nose: a first-order lag with this
// time constant, in recorded seconds. It approaches a new direction without ever passing it,
// and it damps the wobble of the logged heading and of a course taken from positions.
const double ChaseCourseLag = 1.5;

// Course angles are radians in the frame's x-y plane, measured from +x towards +y.

// The course after `seconds` of recorded time, from `course` towards `target` the short
// way round (never more than half a turn), by the lag above. Not wrapped: repeated calls
// may wind past a whole turn, as a course that keeps turning does.
double FollowCourse(double course, double target, double seconds);

const double ChaseDistance = 40.0;  // metres behind the aircraft
const double ChaseHeight = 8.0;     // metres above it
const double ChaseAim = 3.0;        // metres above the aircraft the camera looks at, so that
                                    // the horizon and some sky are in the frame
const double ChaseClearance = 5.0;  // metres the camera keeps above the ground, where the
                                    // subject knows the ground

// Where the heading is only the course, the camera takes the course over this window around
// the frame, recorded seconds, and only while the aircraft covers the ground at this speed or
// more over it: a GPS fix that wanders by a few metres while the aircraft stands is not a
// course, nor a walk at launch.
const double ChaseCourseWindow = 4.0;
const double ChaseCourseSpeed = 2.0; // m/s

// Behind and a little above the aircraft, looking at it along its smoothed heading: the
// direction its nose points, from the aircraft's rotation, so that a multirotor hovering or
// an aircraft standing is seen from behind whatever the noise of its position does. Roll and
// pitch do not move the camera; a nose that points almost straight up or down keeps the
// direction it had. Where the heading is only the course (CameraSubject::headingIsCourse),
// the course over the window above is followed while the aircraft moves, and the last one
// kept while it stands. The first frame takes the direction as it is.
class ChaseCamera : public RecordingCamera
{
public:
    explicit ChaseCamera(const CameraSubject& subject) : subject(subject) {}
    osg::Matrixd View(double position, double seconds) override;

private:
    osg::Matrixd ViewAlong(const osg::Vec3d& aircraft, double newCourse, bool believed, double seconds);

    CameraSubject subject;
    double course = 0.0;
    bool started = false;
};

// A fixed oblique view that holds every point of the track: from the south-south-west,
// 35 degrees down, at the centre of the track's bounding box, just far enough that every
// row's position lies inside the picture's inner 90 % across and the inner 90 % of its
// height, or 75 % under the player's display, which takes about a tenth of the height at
// the bottom and at the top. A track smaller than the least extent (metres) is framed as if
// it were that big, so that a single point or a hover still shows its surroundings rather
// than filling the frame with the aircraft.
//
// Seen from afar the aircraft at its own size is a dot: the overview scales the model, about
// its own origin, to a bounding radius of OverviewAircraftShare of the picture's height at
// the track's centre, and never makes it smaller.
const double OverviewLeastExtent = 150.0;
const double OverviewAircraftShare = 0.04;

class OverviewCamera : public RecordingCamera
{
public:
    explicit OverviewCamera(const CameraSubject& subject) : subject(subject) {}
    void SetUp(const CameraPicture& picture, osg::MatrixTransform* aircraft) override;
    osg::Matrixd View(double, double) override { return view; }

private:
    CameraSubject subject;
    osg::Matrixd view;
};
