#pragma once
#include <cstddef>
#include <string>

#include "FlightConversion.h"
#include "RecordedFlight.h"

// The track command: one path from any flight file to the keyword log. The file's format is
// told by its content, its reader fills a RecordedFlight, and ConvertFlight makes the rows.

enum class FlightFileFormat
{
    ULog,
    DataFlash,
    MavlinkTelemetry,
    Gpx,
    Igc,
    Csv,
    Unknown, // binary bytes that begin none of the formats
};

// The format the bytes begin: the binary formats by their magic or frame structure, text as
// GPX when it opens with '<', IGC when its first line is an A, H or B record, else CSV.
FlightFileFormat DetectFlightFormat(const std::string& bytes);

// The rate and gap the format's rows are made with: 10 rows a second and no row across two
// seconds without a position for the autopilot logs; one a second and no row across five
// minutes without a point for the tracks, which are often recorded every few seconds and,
// by loggers that record on a change of course, a minute or two apart.
ConversionSettings DefaultConversion(FlightFileFormat format);

// Reads the flight from the file. False after one line on stderr when the file cannot be
// opened, is empty, is no flight file, or cannot be read in its format.
bool ReadFlightFile(const std::string& path, RecordedFlight* flight, FlightFileFormat* format);

// The summary of a flight as --info prints it: several lines, each ending in "\n".
std::string DescribeFlight(const std::string& path, const RecordedFlight& flight, size_t fileBytes);

// Prints the log on stdout, all of it or nothing, and one summary line on stderr
// (ConversionSummary). rate 0 takes the format's default. Returns 0, or 1 after one line on
// stderr (after the --info description, when info is set).
int ConvertTrack(const std::string& path, double rate, bool info);
