#pragma once
#include <array>
#include <vector>

#include <osg/Geometry>
#include <osg/Group>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include "geo/MapProjection.h"
#include "plan/FlightPlan.h"

// Where the camera looked, drawn in the scene: the four edges of its view from the aircraft
// to the ground, and the footprint where the view meets the drawn ground, following it. The
// ground is handed in as a height function (the drawn terrain's, which the scene does not
// see), so the footprint lies on what is drawn, not on a flat floor.

// The camera's attitude in the Earth frame and its angles of view, radians: pitch positive
// above the horizon, roll positive with the picture's right side down, yaw the compass
// bearing of the view; whole angles across and up the picture.
struct CameraPose
{
    double pitch = 0.0, roll = 0.0, yaw = 0.0;
    double horizontalFov = 0.0, verticalFov = 0.0;
};

// A ray that meets no ground within this reach (above the horizon, or over a long slope
// away) ends here.
const double ViewReach = 1500.0; // metres
// Points each edge of the picture is cast through, corners included, so the footprint bends
// with the ground between the corners.
const int FootprintPointsPerEdge = 16;

// The view as cast from one place: the corners' rays in the picture's order (top left, top
// right, bottom right, bottom left) and the outline of the footprint, each edge's points in
// that order around, all in frame units.
struct ViewFootprint
{
    osg::Vec3d eye;
    std::array<osg::Vec3d, 4> corners;
    std::array<bool, 4> grounded{}; // the corner's ray met the ground (not cut at ViewReach)
    std::vector<osg::Vec3d> outline; // 4 * (FootprintPointsPerEdge - 1) points, a closed loop
};

// The unit direction (frame axes: x south, y east, z up) of the ray through the picture's
// point (u, v), each in [-1, 1]: u from the left edge to the right, v from the top to the bottom.
osg::Vec3d ViewRay(const CameraPose& pose, double u, double v);

// Where the ray from `eye` (frame units) along `direction` first meets the ground
// (`ground` in metres above sea level at a latitude and longitude, `fallbackGround` where it
// gives NaN), or its point at ViewReach when it meets none; *grounded says which.
osg::Vec3d CastViewRay(const MapFrameValues& frame, const GroundHeight& ground, double fallbackGround, const osg::Vec3d& eye, const osg::Vec3d& direction, bool* grounded);

// The view from `eye` with `pose`.
ViewFootprint CastFootprint(const MapFrameValues& frame, const GroundHeight& ground, double fallbackGround, const osg::Vec3d& eye, const CameraPose& pose);

// The drawing, made once and moved each frame without building anything again.
class CameraView
{
public:
    CameraView(const MapFrameValues& frame, GroundHeight ground, double fallbackGround);
    osg::Group* Root() const { return root.get(); }

    // Casts the view from `eye` (frame units) and moves the lines there.
    void Show(const osg::Vec3d& eye, const CameraPose& pose);
    // Nothing drawn: no attitude at this moment.
    void Hide();
    // The user's switch: while off, Show draws nothing either.
    void SetEnabled(bool on);
    bool Enabled() const { return enabled; }
    // The view last cast, for whoever checks or frames it.
    const ViewFootprint& Footprint() const { return last; }

private:
    MapFrameValues frame;
    GroundHeight ground;
    double fallbackGround;
    osg::ref_ptr<osg::Group> root;
    osg::ref_ptr<osg::Geometry> edges, outline;
    ViewFootprint last;
    bool enabled = true;
    bool shown = false;
};
