#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <osg/Matrixd>
#include <osg/Vec3d>

namespace osg
{
class MatrixTransform;
}

// The cameras of a recording, which no hand steers: each is one class behind
// RecordingCamera and one row of the table below, which is all that --camera, its usage
// line and its error message know of them. They work in the map frame (x south, y east,
// z up, one unit a zoom-18 tile; geo/MapProjection.h).

// What a camera may know of the flight, fixed for the whole recording. Clock positions are
// the player clock's fractional row indices (PlaybackClock.h).
struct CameraSubject
{
    int32_t rows = 0;         // at least one; positions run from 0 to rows - 1
    double rowSeconds = 1.0;  // recorded seconds from one row to the next (> 0)
    double unitsPerMetre = 1.0;
    // The transform that carries the aircraft at a clock position: its translation is where
    // the aircraft is, its rotation how it lies.
    std::function<osg::Matrixd(double position)> aircraftAt;
    // The height of the drawn ground under a frame point, frame units; empty when unknown.
    std::function<double(double x, double y)> groundUnder;
    // The logged heading is only the course over the ground, made from the positions (a GPS
    // track), and says nothing while the aircraft stands (log/LogAttitude.h).
    bool headingIsCourse = false;
    // Further points the overview frames: the tracks of other flights shown with this one.
    std::vector<osg::Vec3d> others;
};

// The picture the camera's view is drawn into.
struct CameraPicture
{
    double verticalFov = 40.0; // degrees
    double aspect = 16.0 / 9.0; // width over height
    bool display = true;       // the player's display is drawn over the picture, along its edges
    double covered = 0.0;      // share of the height the plots cover from the bottom; the picture is lifted above them
};

class RecordingCamera
{
public:
    virtual ~RecordingCamera() = default;

    // Called once, before the first view. `aircraft` is the transform that moves the
    // aircraft's model; a camera may change what hangs under it (the overview draws the
    // model larger), never the transform's own matrix, which the clock sets.
    virtual void SetUp(const CameraPicture&, osg::MatrixTransform*) {}

    // The view matrix of the frame at clock `position`, `seconds` of recorded time after the
    // previous frame's. Called for every frame in order.
    virtual osg::Matrixd View(double position, double seconds) = 0;
};

// A camera the command line can choose: --camera WORD.
struct RecordCameraKind
{
    const char* word;
    const char* description; // one line: what the camera shows
    std::unique_ptr<RecordingCamera> (*make)(const CameraSubject& subject);
};

// Every camera, in the order the usage names them; the first is the default. The table
// stands beside the cameras, in RecordCameras.cpp.
const std::vector<RecordCameraKind>& RecordCameraKinds();

// The camera called `word` (case counts), or null.
const RecordCameraKind* FindRecordCamera(const std::string& word);

// The words of the table in its order, with `between` between two and `beforeLast` before
// the last: ("|", "|") gives "chase|overview", (", ", " or ") "chase or overview".
std::string RecordCameraWords(const char* between, const char* beforeLast);
