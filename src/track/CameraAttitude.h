#pragma once
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

// Where the camera looked: the gimbal's attitude over time and, where the file gives it, the
// field of view. The readers record it on the file's clock; the conversion puts it on the
// converted log's (gps_time) with the yaw counted from north; `track` writes it beside the log
// as CSV (NAME.camera.csv) and the companions read it back with a keyword log.

// One attitude of the camera in the Earth frame, radians: pitch positive above the horizon
// (a camera looking straight down is at -pi/2), roll positive with the right side of the
// picture down, yaw the compass bearing of the view, clockwise from north. Angles of view are
// whole angles across the picture, NaN when the file does not say.
struct TimedGimbal
{
    double time = 0.0; // seconds: on the file's clock in RecordedFlight, on gps_time's once converted
    double pitch = 0.0;
    double roll = 0.0;
    double yaw = 0.0;
    double horizontalFov = NAN;
    double verticalFov = NAN;
    // A reader's mark: the yaw counts from the aircraft's nose, not from north. The
    // conversion adds the aircraft's heading and clears it.
    bool yawFromNose = false;
};

// The gimbal's record may not grow without bound either.
const size_t MaximumGimbalRecords = 2000000;

// The angles of a rotation from the camera's frame (forward, right, down) to north, east,
// down, as a unit quaternion w, x, y, z: yaw about down, then pitch about right, then roll
// about forward. False when the four numbers are no rotation (not finite, far from unit
// length); the quaternion is normalised first.
bool GimbalAnglesOfQuaternion(double w, double x, double y, double z, double* roll, double* pitch, double* yaw);

// The picture's angles of view (radians) for a focal length equivalent on 35 mm film
// (millimetres): the equivalence is by the diagonal (43.27 mm), and a video picture is 16:9
// wide. False for a focal length that is not a positive, finite number below 2000 mm.
bool FieldOfViewOfFocalLength(double millimetres, double* horizontal, double* vertical);

// The same split of a diagonal angle of view (radians, in (0, pi)) over a 16:9 picture.
void FieldOfViewOfDiagonal(double diagonal, double* horizontal, double* vertical);

// The camera file that belongs beside a keyword log: "dir/NAME.camera.csv" for "dir/NAME.log".
std::string CameraPathFor(const std::string& logPath);

// CSV: header "time,pitch,roll,yaw,hfov,vfov", one record per line in time order, the time
// with 3 decimals and the angles in degrees with 2 (the angles of view empty when unknown).
// Written whole or not at all.
bool WriteCameraAttitudes(const std::string& path, const std::vector<TimedGimbal>& gimbal, std::string* error);

// Reads such a file, safe on any bytes: a line it cannot read is skipped and counted
// (*skipped), at most MaximumGimbalRecords are kept, records sorted by time. False (with
// *error) only when the file cannot be opened or its first line is not the header.
bool ReadCameraAttitudes(const std::string& path, std::vector<TimedGimbal>* gimbal, size_t* skipped, std::string* error);
