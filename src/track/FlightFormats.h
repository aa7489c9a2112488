#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "track/FlightConversion.h"
#include "track/RecordedFlight.h"
#include "track/TrackReading.h"

// The flight files the track library reads, one row each: how a file of the format is told
// by its bytes, its reader, and how its rows are made. A new format is a reader file and one
// row of the table in FlightFormats.cpp.
struct FlightFormat
{
    const char* name;  // as the reader names it in RecordedFlight::format: "ULog", "GPX", ...
    bool autopilotLog; // an autopilot's own log (it records the attitude), not a GPS track
    // True when the bytes begin a file of this format. Tried in the table's order, so a
    // format told by content alone (CSV: any text) comes after those with a signature.
    bool (*recognise)(std::string_view bytes);
    // Fills the flight; false, with the one-line reason in `message`, when the file cannot be
    // read in the format at all.
    bool (*read)(const FlightFile& file, RecordedFlight* flight, std::string* message);
    // The rate and gap its rows are made with: 10 rows a second and no row across two
    // seconds without a position for the autopilot logs; one a second and no row across five
    // minutes without a point for the tracks, which are often recorded every few seconds and,
    // by loggers that record on a change of course, a minute or two apart.
    ConversionSettings defaults;
    // Told by being text at all rather than by a signature of its own (CSV): a file of any
    // other kind of text is recognised as this too.
    bool anyText = false;
};

// The formats, in the order they are tried.
const std::vector<FlightFormat>& FlightFormats();

// The format the bytes begin, or null for binary bytes that begin none.
const FlightFormat* DetectFlightFormat(std::string_view bytes);

// The format the file at `path` begins, told by its first 8 KiB (a telemetry log's first
// frame lies within its first 4 KiB), or null when it begins none or cannot be read.
const FlightFormat* DetectFlightFileFormat(const std::string& path);

// The format of that name, or null.
const FlightFormat* FindFlightFormat(const std::string& name);

// Reads the flight from the file at `path`, in the format its content shows (`*format`,
// null when none). False with the one-line reason in `message` when the file cannot be
// opened, is empty, is no flight file, or cannot be read in its format.
bool ReadFlightFile(const std::string& path, RecordedFlight* flight, const FlightFormat** format, std::string* message);
