#pragma once
#include <cstdint>
#include <string>

// The names of the autopilots' flight modes, for the mode events. Each falls back to
// "mode N" for a number it does not know.

// PX4's vehicle_status nav_state: "MANUAL", "POSCTL", "AUTO_MISSION", ...
std::string NavStateName(double navState);

// The vehicle families of the other autopilot, whose mode numbers mean different modes.
enum class ModeFamily
{
    Unknown,
    Copter,
    Plane,
    Rover,
};

// The family a firmware's banner text names ("... Copter V4.5.1 ..."), or Unknown.
ModeFamily ModeFamilyOfBanner(const std::string& text);

// The family of a HEARTBEAT's MAV_TYPE, or Unknown.
ModeFamily ModeFamilyOfVehicleType(double type);

// A mode number of that family: "LOITER", "RTL", ...; "mode N" for an unknown family or number.
std::string FamilyModeName(ModeFamily family, double mode);

// A HEARTBEAT custom_mode of PX4: main mode in bits 16..23, sub mode (of AUTO) in 24..31,
// named as nav_state names them ("POSCTL", "AUTO_LOITER").
std::string Px4CustomModeName(double customMode);

// "mode N", N the number as an integer.
std::string UnknownModeName(double mode);
