#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plan/FlightPlan.h"

// The photos of a flight measured over the drawn ground: each one's height above it, its
// ground sample distance and footprint for a named camera, and the gaps in a survey's
// forward overlap between consecutive photos along one line.

// A camera of the table `--camera` names: lens and sensor in millimetres, picture in pixels,
// the sensor's long side across the picture.
struct CameraModel
{
    const char* word;
    const char* description;
    double focalLength;  // mm
    double sensorWidth;  // mm, the long side
    double sensorHeight; // mm
    int imageWidth;      // px
    int imageHeight;     // px
};

// The table, in the order --help lists it.
const std::vector<CameraModel>& CameraModels();
// The camera of that word, or null.
const CameraModel* FindCameraModel(const std::string& word);
// "a, b, c": the words, for a usage line.
std::string CameraModelWords();

// The angles of view (radians) across and up the picture.
void CameraFieldOfView(const CameraModel& camera, double* horizontal, double* vertical);

// Ground sample distance in centimetres a pixel, straight down from `height` metres:
// height x sensor width / (focal length x image width).
double GroundSampleDistance(const CameraModel& camera, double height);
// The footprint's length along the track (the picture's short side there, straight down).
double FootprintAlongTrack(const CameraModel& camera, double height);

// One photo as the check takes it: where it was taken.
struct PhotoPlace
{
    double time = 0.0;   // gps_time, seconds
    int64_t index = -1;  // its image number, -1 when it has none
    double latitude = 0.0, longitude = 0.0; // degrees
    double altitude = NAN; // metres above sea level
};

// The photo's name in the findings: its image number, else its place in the list from 1.
int64_t PhotoNumber(const PhotoPlace& photo, size_t position);

struct PhotoFinding
{
    double terrain = NAN; // metres above sea level of the drawn ground under it, NaN where none is drawn
    double height = NAN;  // above that ground
    double gsd = NAN;     // cm/px, with a camera and a height
    double footprintAlong = NAN, footprintAcross = NAN; // metres, with a camera and a height
};

// Two consecutive photos along one line whose footprints overlap less than asked.
struct OverlapGap
{
    size_t first = 0;       // index into the photos; the second is the next one
    double time = 0.0;      // of the second
    double distance = 0.0;  // metres between the two places
    double overlap = 0.0;   // forward overlap, 0 to 1 (0: the footprints do not meet)
};

struct PhotoCheckReport
{
    std::vector<PhotoFinding> photos; // one per photo, in its order
    size_t overGround = 0;            // photos with drawn ground under them
    double minimumOverlap = 0.6;
    // The forward overlap with the next photo, one per photo but the last: NaN where the two
    // are not consecutive along one line, or where either height is not known.
    std::vector<double> forwardOverlap;
    std::vector<OverlapGap> gaps;
};

// Steps between photos that turn by more than this from the line's bearing leave the line:
// the turn at a survey's end, or a move to the next line.
const double LineTurnDegrees = 30.0;

// Measures `photos` (in time order) over `ground`. With a camera, each photo's ground sample
// distance and footprint; the forward overlap of consecutive photos along one line (a step
// that turns more than LineTurnDegrees from the line's bearing ends it, and the next step
// starts another) is 1 - distance / footprint length along the track at their mean height;
// those below `minimumOverlap` are gaps.
PhotoCheckReport CheckPhotos(const std::vector<PhotoPlace>& photos, const GroundHeight& ground, const CameraModel* camera, double minimumOverlap = 0.6);

// "gap between photos 14 and 15 at 312.0 s: 35% forward overlap (84 m apart)".
std::string OverlapGapText(const std::vector<PhotoPlace>& photos, const OverlapGap& gap);
