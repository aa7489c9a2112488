#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "track/FlightFileConversion.h"

// The files a flight file's conversion leaves beside the keyword log it makes, besides its
// events and its plan: where the camera looked (NAME.camera.csv), what flew (NAME.vehicle),
// the wind (NAME.wind.csv), the other aircraft around (NAME.traffic.csv), the photos
// taken (NAME.photos.csv). One table, so that `track` and `world` write, remove and list the
// same files, and a new one is a row.
struct FlightSidecar
{
    const char* what; // for messages: "the camera's attitudes"
    std::string (*pathFor)(const std::string& logPath);
    // How many records the conversion has for it; none: no file, and an old one goes.
    size_t (*count)(const FlightFileConversion& conversion);
    bool (*write)(const std::string& path, const FlightFileConversion& conversion, std::string* error);
};

const std::vector<FlightSidecar>& FlightSidecars();

// Writes each file of the conversion beside `logPath`, or removes an old one where it has
// nothing, appending the paths written to `written`. Stops at the first that cannot be
// written: false, with errno as the write left it and the reason in `error`.
bool WriteSidecarsBeside(const std::string& logPath, const FlightFileConversion& conversion, std::vector<std::string>* written, std::string* error);

// Every such file's path beside `logPath`, whether it is there or not.
std::vector<std::string> SidecarPathsFor(const std::string& logPath);
