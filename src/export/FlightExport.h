#pragma once
#include <string>
#include <vector>

#include "flight/LoadedFlight.h"

// A flight written for other programs: globe viewers and GIS (KML, KMZ, CZML), flight-analysis
// viewers (ACMI) and everything else (GPX). Each writer takes the flight as the player has it (rows, events,
// plan) and gives the whole file's bytes, or false with a line saying why; the command writes
// them whole or not at all.

// What a writer is given beside the flight.
struct ExportInput
{
    const LoadedFlight* flight = nullptr;
    std::string title;                    // the flight's file name without its folder
    std::vector<std::string> attribution; // the credits of the world's data, when it has any
    // What the data tool found of the altitudes, which the writers name and never change: the
    // sentence saying what they are measured from (empty: above mean sea level, as logged),
    // and a line for each way they disagree with the ground drawn under them.
    std::string altitudeDatum = "";
    std::vector<std::string> altitudeNotes = {};
};

// One exported point of a row: where, when and how the aircraft stood.
struct ExportPoint
{
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double altitude = 0.0;  // metres above sea level, as logged
    double utc = -1.0;      // seconds since 1970, when the log is dated; else < 0
    double seconds = 0.0;   // from the first row
    double heading = 0.0;   // degrees clockwise from north, the nose's
    double pitch = 0.0;     // degrees, nose up positive
    double roll = 0.0;      // degrees, right wing down positive
    bool attitude = false;  // whether the log gave pitch and roll (else they are 0)
};

// The flight's rows as points, in order; rows without a finite position are left out.
std::vector<ExportPoint> ExportPoints(const ExportInput& input);

// Text for XML: the five characters that would end it escaped, and control characters (which
// XML 1.0 does not allow, and a logged message may hold) as spaces.
std::string XmlEscaped(const std::string& text);

// Where the autopilot changed mode, on gps_time's clock, as the player's timeline takes them:
// the mode events when the log has any, else the changes of the ap_status column; in order.
struct FlightModeChange
{
    double time;
    std::string name;
};
std::vector<FlightModeChange> FlightModeChanges(const LoadedFlight& flight);
// The index of the change in force at `time`: the last at or before it, the first before any.
size_t FlightModeAt(const std::vector<FlightModeChange>& changes, double time);
// The player's colour of the mode first seen index-th, red, green and blue in [0, 1]: the same
// ten hues in turn, so that a mode looks alike in the replay and elsewhere.
const double* FlightModeColour(size_t index);

// Bytes as base64 text (RFC 4648, padded), for data: addresses.
std::string Base64(const std::string& bytes);

// "2019-08-25T08:22:54.125Z": UTC with milliseconds.
std::string IsoUtc(double utc);

// A format: its word for --to, the ending of the files it writes, and its writer.
struct ExportFormat
{
    const char* word;
    const char* extension; // ".kml", ".zip.acmi", ...; "-page" for the page's folder
    // Null for the web page, a folder of files (WebPage.h).
    bool (*write)(const ExportInput& input, const std::string& path, std::string* bytes, std::string* error);
    const char* description;
};

// Every format, in the order the usage lists them.
const std::vector<ExportFormat>& ExportFormats();
// The format of a --to word; null for another.
const ExportFormat* FindExportFormat(const std::string& word);
// "kml, kmz, acmi, czml, gpx or html".
std::string ExportFormatWords();

// The writers. `path` is where the bytes go (a writer may name it inside them).
bool WriteGpx(const ExportInput& input, const std::string& path, std::string* bytes, std::string* error);
bool WriteKml(const ExportInput& input, const std::string& path, std::string* bytes, std::string* error);
bool WriteKmz(const ExportInput& input, const std::string& path, std::string* bytes, std::string* error);
// ACMI 2.2 text; zipped (one entry) when `path` ends with ".zip.acmi".
bool WriteAcmi(const ExportInput& input, const std::string& path, std::string* bytes, std::string* error);
// CZML with the aircraft's positions and orientations, its model (a glTF glider, embedded) and the events.
bool WriteCzml(const ExportInput& input, const std::string& path, std::string* bytes, std::string* error);
