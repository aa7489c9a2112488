#pragma once
#include <string>
#include <vector>

#include "check/PhotoCheck.h"
#include "track/CameraTriggers.h"

// The check's word on a flight's photos: the places it measures, the report's lines, the
// JSON and the CSV of its findings.

// The photos as the check takes them.
std::vector<PhotoPlace> PhotoPlaces(const std::vector<TimedPhoto>& photos);

// The report's section: the summary line ("photos: 42, 40 over drawn ground, height above it
// 95.0 to 101.2 m, ground sample distance 2.6 to 2.8 cm/px (survey-1in-20mp); forward
// overlap below 60%: 1 gap"), then a line a gap, at most 100 of them. Empty for no photo.
std::string PhotoFindingsText(const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report, const CameraModel* camera);

// --json's "photos": an array, one object a photo (time, index, latitude, longitude, altitude,
// terrain, height, gsd_cm, footprint_along_m, footprint_across_m, forward_overlap with the
// next), null where a figure is not known; and "photo_gaps", one object a gap.
std::string PhotosJson(const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report);
std::string PhotoGapsJson(const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report);

// The CSV of the photos beside the check's: "dir/NAME.photo-check.csv" for "dir/NAME.csv"
// (not NAME.photos.csv, which a check's CSV named like its log would put over the photos
// kept beside the log).
std::string PhotoCsvPathFor(const std::string& checkCsv);

// One line a photo, the JSON's figures as columns (empty where unknown), written whole or not
// at all. False with errno set when it cannot be written.
bool WritePhotoCsv(const std::string& path, const std::vector<PhotoPlace>& photos, const PhotoCheckReport& report);
