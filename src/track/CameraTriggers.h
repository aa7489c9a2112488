#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// The photos a flight took: each camera trigger or the camera's word that it took a picture,
// with the place and attitude logged with it. The readers record them on the file's clock;
// the conversion puts them on the rows' (gps_time), giving a trigger that logs no place the
// aircraft's place at its time; `track` writes them beside the log as NAME.photos.csv.

struct TimedPosition;

// One photo. The attitude is that of the body the camera is fixed to, as the autopilots log
// it with a trigger (the aircraft's: roll positive right wing down, pitch nose up, yaw the
// heading), radians, with the camera looking straight down through it; NaN when not logged.
struct TimedPhoto
{
    double time = 0.0;   // seconds: on the file's clock in RecordedFlight, on gps_time's once converted
    int64_t index = -1;  // the image number or sequence; -1 when the file gives none
    double latitude = NAN, longitude = NAN; // degrees; NaN when the message carries no place
    double altitude = NAN;                  // metres above sea level; NaN when unknown
    double roll = NAN, pitch = NAN, yaw = NAN;
    std::string source; // the message: "CAM", "TRIG", "camera_capture", "CAMERA_FEEDBACK", ...

    // A place on the Earth (not the 0, 0 of a camera that never had one).
    bool HasPosition() const;
    bool HasAttitude() const { return std::isfinite(roll) && std::isfinite(pitch) && std::isfinite(yaw); }
};

const size_t MaximumPhotoRecords = 200000;

// A reader's photos by the message they came in, one message chosen at the end: a file may
// log both the trigger and the camera's feedback of one exposure.
class PhotoMessages
{
public:
    // Keeps the photo under its source while there is room; a non-finite time is dropped.
    void Add(const TimedPhoto& photo);
    // The photos of the first source in `preference` that has any, moved into *photos; the
    // source's name, or "" when none has any.
    std::string Choose(std::initializer_list<const char*> preference, std::vector<TimedPhoto>* photos);
    bool Any() const;

private:
    std::map<std::string, std::vector<TimedPhoto>> bySource;
};

// The photos on the rows' clock (times less `origin`), in time order: one without a place
// takes the aircraft's, linear between `positions` (sorted, on the rows' clock) no more than
// `maximumGap` seconds apart, and its altitude too when it logged none. One at a time with no
// aircraft position is left out and counted in *withoutPosition.
std::vector<TimedPhoto> PhotosOnRows(const std::vector<TimedPhoto>& recorded, double origin, const std::vector<TimedPosition>& positions, double maximumGap, size_t* withoutPosition);

// The line (ending in "\n") that tells of photos left out for want of a place, "" for none.
std::string PhotosLeftOutNote(const std::string& path, size_t withoutPosition);

// "42 photos (CAM)" for a list, "" for none.
std::string PhotoSummary(const std::vector<TimedPhoto>& photos);

// The photo file that belongs beside a keyword log: "dir/NAME.photos.csv" for "dir/NAME.log".
std::string PhotosPathFor(const std::string& logPath);

// CSV: header "time,index,latitude,longitude,altitude,roll,pitch,yaw,source", one photo per
// line in time order: the time with 3 decimals, degrees of place with 7, the altitude in
// metres with 2, the angles in degrees with 2 (empty when unknown), the index empty when
// there is none. Written whole or not at all.
bool WritePhotos(const std::string& path, const std::vector<TimedPhoto>& photos, std::string* error);

// Reads such a file, safe on any bytes: a line it cannot read (no time, no place) is skipped
// and counted (*skipped), at most MaximumPhotoRecords are kept, sorted by time. False (with
// *error) only when the file cannot be opened or its first line is not the header.
bool ReadPhotos(const std::string& path, std::vector<TimedPhoto>* photos, size_t* skipped, std::string* error);
