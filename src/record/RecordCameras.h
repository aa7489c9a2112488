#pragma once
#include <vector>

#include <osg/Matrixd>
#include <osg/Vec3d>

// The cameras of a recording, which no hand steers. Both work in the map frame (x south,
// y east, z up, one unit a zoom-18 tile; geo/MapFrame.h) and are told how many units make
// a metre.

// How the chase camera's course follows the aircraft's: a first-order lag with this time
// constant, in recorded seconds. It approaches a new course without ever passing it, and it
// damps the wobble that uneven sample spacing puts into a course taken from positions.
const double ChaseCourseLag = 1.5;

// Course angles are radians in the frame's x-y plane, measured from +x towards +y.

// The course after `seconds` of recorded time, from `course` towards `target` the short
// way round (never more than half a turn), by the lag above. Not wrapped: repeated calls
// may wind past a whole turn, as a course that keeps turning does.
double FollowCourse(double course, double target, double seconds);

// Behind and a little above the aircraft, looking at it along its smoothed course. Roll and
// pitch of the aircraft do not move it: only where it is and where it goes.
class ChaseCamera
{
public:
    explicit ChaseCamera(double unitsPerMetre);

    // The view at the aircraft's position, with `course` the direction it moves in now
    // (ignored when `moving` is false: hovering or standing, the camera keeps its course),
    // `seconds` of recorded time after the previous call. The first call takes the course
    // as it is. `groundUnder` gives the height of the ground (frame units) under a frame
    // point, or a null pointer when unknown; the camera stays a little above it.
    osg::Matrixd View(const osg::Vec3d& aircraft, double course, bool moving, double seconds,
                      double (*groundUnder)(double x, double y));

    double Course() const { return course; }

private:
    double unitsPerMetre;
    double course = 0.0;
    bool started = false;
};

const double ChaseDistance = 40.0;  // metres behind the aircraft
const double ChaseHeight = 8.0;     // metres above it
const double ChaseAim = 3.0;        // metres above the aircraft the camera looks at, so that
                                    // the horizon and some sky are in the frame
const double ChaseClearance = 5.0;  // metres the camera keeps above the ground

// The fixed oblique view that holds every point in `points` (at least one): from the
// south-south-west, 35 degrees down, at the centre of their bounding box, just far enough
// that every point lies inside the frame's inner 90 % across and the inner `upShare` of its
// height (less than 90 % keeps the track clear of a display along the frame's edges). A track smaller than
// the least extent (metres) is framed as if it were that big, so that a single point or a
// hover still shows its surroundings rather than filling the frame with the aircraft.
const double OverviewLeastExtent = 150.0;
struct OverviewFraming
{
    osg::Matrixd view;
    double distance = 0.0; // from the eye to the box's centre, frame units
};
OverviewFraming FrameOverview(const std::vector<osg::Vec3d>& points, double unitsPerMetre, double verticalFov,
                              double aspect, double upShare = 0.9);
