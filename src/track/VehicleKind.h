#pragma once
#include <string>

// What kind of aircraft (or craft) flew: the player draws a model per kind, so the readers
// find it where the file says it (a heartbeat, a status topic, a banner, a header) and the
// conversion keeps it beside the log (NAME.vehicle) for the companions to read back.

enum class VehicleKind
{
    Unknown,
    Quadrotor,
    Hexarotor,
    Octorotor,
    Helicopter,
    Plane,
    VtolQuadplane,
    Tailsitter,
    Paraglider,
    HangGlider,
    Sailplane,
    Rover,
    Boat
};

// The kind and, in a few words, what it was found from ("HEARTBEAT type 2").
struct VehicleIdentity
{
    VehicleKind kind = VehicleKind::Unknown;
    std::string source;
};

// The word for files and command lines ("quadrotor", "hang-glider"); "unknown" for Unknown.
const char* VehicleKindWord(VehicleKind kind);

// The kind a word names (exact, lower case); false for any other word, Unknown's included.
bool VehicleKindOfWord(const std::string& word, VehicleKind* kind);

// Every word VehicleKindOfWord takes, comma separated, for a usage message.
std::string VehicleKindWords();

// The kind of a telemetry HEARTBEAT type (the MAV_TYPE numbers); Unknown for a type that is
// no vehicle (a ground station, a gimbal) or one this list does not know.
VehicleKind VehicleKindOfMavType(int type);

// A glider's kind from the median ground speed of its moving part (m/s): a paraglider cruises
// at 8-15, a sailplane at 25-70, a hang glider in between. Unknown outside those.
VehicleKind GliderKindOfSpeed(double medianSpeed);

// The kind a glider's type or class names plainly, in any case: paraglider words ("parapente",
// "gleitschirm"), hang glider words, a sailplane's competition class ("18-meter", "Club",
// "Motor Glider"); Unknown for a model's name alone.
VehicleKind GliderKindOfWords(const std::string& text);

// The vehicle file that belongs beside a keyword log: "dir/NAME.vehicle" for "dir/NAME.log".
std::string VehiclePathFor(const std::string& logPath);

// Two lines: the kind's word, then the source. Written whole or not at all.
bool WriteVehicleIdentity(const std::string& path, const VehicleIdentity& identity, std::string* error);

// Reads such a file, safe on any bytes. False (with *error) when it cannot be opened or its
// first line is no kind's word.
bool ReadVehicleIdentity(const std::string& path, VehicleIdentity* identity, std::string* error);
