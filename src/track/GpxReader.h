#pragma once
#include <string>
#include <string_view>

#include "track/RecordedFlight.h"
#include "track/TrackReading.h"

// The reader of GPX tracks: every trkpt, in any track and segment, with its ele and time; a
// point without a time or a latitude and longitude is skipped and counted by reason (see
// TrackReading.h for what every track reader shares). Times count from 1970
// (timesSinceEpoch). A missing ele is a missing altitude, for the conversion to interpolate.

// True when the file is text whose first non-blank character opens a tag.
bool IsGpx(std::string_view bytes);

// False, with the one-line reason in `message`, when the file is no well-formed XML.
bool ReadGpxTrack(const FlightFile& file, RecordedFlight* flight, std::string* message);
