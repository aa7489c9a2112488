#pragma once
#include <string>
#include <string_view>

#include "track/RecordedFlight.h"
#include "track/TrackReading.h"

// The reader of IGC flight records: the B records; the GNSS altitude where the fix is valid
// (A) and non-zero, else the pressure altitude; the I record's LAD and LOD digits add to the
// minutes. Times are seconds of the UTC day; times that step back past midnight continue
// into the next day. B records that cannot be read, and fixes at exactly 0 N 0 E (a
// receiver without a fix), are skipped and counted by reason. The task the C records declare
// goes in the flight's plan, each point a 500 m cylinder (the file gives no radius).

// True when the file is text whose first non-blank line is an A, H or B record.
bool IsIgc(std::string_view bytes);

// Always true: a file of IGC lines reads, whatever its records hold.
bool ReadIgcTrack(const FlightFile& file, RecordedFlight* flight, std::string* message);
