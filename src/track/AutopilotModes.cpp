#include "track/AutopilotModes.h"

#include <cmath>
#include <cstddef>
#include <cstdio>

namespace
{

// A name of a table indexed by number, or null where the table has none.
template <size_t N>
const char* Named(const char* const (&names)[N], double number)
{
    if (!(number >= 0.0 && number < static_cast<double>(N)) || number != std::floor(number))
        return nullptr;
    return names[static_cast<size_t>(number)];
}

std::string NameOr(const char* name, double number)
{
    return name ? std::string(name) : UnknownModeName(number);
}

const char* const NavStates[] = {
    "MANUAL", "ALTCTL",  "POSCTL",      "AUTO_MISSION", "AUTO_LOITER", "AUTO_RTL",           nullptr,         nullptr, nullptr,   nullptr,         "ACRO", nullptr,
    "DESCEND", "TERMINATION", "OFFBOARD", "STAB",      nullptr,       "AUTO_TAKEOFF", "AUTO_LAND", "AUTO_FOLLOW_TARGET", "AUTO_PRECLAND", "ORBIT", "AUTO_VTOL_TAKEOFF",
};

const char* const CopterModes[] = {
    "STABILIZE", "ACRO",  "ALT_HOLD", "AUTO",   "GUIDED",     "LOITER",       "RTL",       "CIRCLE",   nullptr,  "LAND",   nullptr,    "DRIFT",    nullptr,      "SPORT",    "FLIP",
    "AUTOTUNE",  "POSHOLD", "BRAKE",  "THROW",  "AVOID_ADSB", "GUIDED_NOGPS", "SMART_RTL", "FLOWHOLD", "FOLLOW", "ZIGZAG", "SYSTEMID", "AUTOROTATE", "AUTO_RTL", "TURTLE",
};

const char* const PlaneModes[] = {
    "MANUAL",  "CIRCLE", "STABILIZE",    "TRAINING",   "ACRO",    "FLY_BY_WIRE_A", "FLY_BY_WIRE_B", "CRUISE", "AUTOTUNE", nullptr,   "AUTO",    "RTL",              "LOITER",   "TAKEOFF",
    "AVOID_ADSB", "GUIDED", "INITIALIZING", "QSTABILIZE", "QHOVER", "QLOITER",       "QLAND",         "QRTL",   "QAUTOTUNE", "QACRO", "THERMAL", "LOITER_ALT_QLAND", "AUTOLAND",
};

const char* const RoverModes[] = {
    "MANUAL", "ACRO", nullptr, "STEERING", "HOLD", "LOITER", "FOLLOW", "SIMPLE", "DOCK", "CIRCLE", "AUTO", "RTL", "SMART_RTL", nullptr, nullptr, "GUIDED", "INITIALIZING",
};

// PX4's main modes of a custom_mode, and the sub modes of AUTO.
const char* const Px4MainModes[] = {nullptr, "MANUAL", "ALTCTL", "POSCTL", nullptr, "ACRO", "OFFBOARD", "STAB", "RATTITUDE"};
const char* const Px4AutoModes[] = {nullptr, "AUTO_READY", "AUTO_TAKEOFF", "AUTO_LOITER", "AUTO_MISSION", "AUTO_RTL", "AUTO_LAND", "AUTO_RTGS", "AUTO_FOLLOW_TARGET", "AUTO_PRECLAND", "AUTO_VTOL_TAKEOFF"};
const double Px4AutoMain = 4;
const double Px4PositionMain = 3;
const double Px4OrbitSub = 1;

} // namespace

std::string UnknownModeName(double mode)
{
    char text[40];
    if (std::isfinite(mode) && std::fabs(mode) < 1e15)
        snprintf(text, sizeof text, "mode %.0f", mode);
    else
        snprintf(text, sizeof text, "mode ?");
    return text;
}

std::string NavStateName(double navState)
{
    return NameOr(Named(NavStates, navState), navState);
}

ModeFamily ModeFamilyOfBanner(const std::string& text)
{
    if (text.find("Copter") != std::string::npos)
        return ModeFamily::Copter;
    if (text.find("Plane") != std::string::npos)
        return ModeFamily::Plane;
    if (text.find("Rover") != std::string::npos)
        return ModeFamily::Rover;
    return ModeFamily::Unknown;
}

ModeFamily ModeFamilyOfVehicleType(double type)
{
    const int t = std::isfinite(type) && std::fabs(type) < 1000.0 ? static_cast<int>(type) : -1;
    switch (t)
    {
    case 1:                      // fixed wing
    case 19: case 20: case 21:   // the VTOL types fly the fixed wing's modes
    case 22: case 23: case 24: case 25:
        return ModeFamily::Plane;
    case 2: case 3: case 4:      // quadrotor, coaxial, helicopter
    case 13: case 14: case 15:   // hexa-, octo-, tricopter
    case 29:                     // dodecarotor
        return ModeFamily::Copter;
    case 10: case 11:            // ground rover, surface boat
        return ModeFamily::Rover;
    default:
        return ModeFamily::Unknown;
    }
}

std::string FamilyModeName(ModeFamily family, double mode)
{
    switch (family)
    {
    case ModeFamily::Copter:
        return NameOr(Named(CopterModes, mode), mode);
    case ModeFamily::Plane:
        return NameOr(Named(PlaneModes, mode), mode);
    case ModeFamily::Rover:
        return NameOr(Named(RoverModes, mode), mode);
    case ModeFamily::Unknown:
        break;
    }
    return UnknownModeName(mode);
}

std::string Px4CustomModeName(double customMode)
{
    if (!(customMode >= 0.0 && customMode < 4294967296.0))
        return UnknownModeName(customMode);
    const uint32_t mode = static_cast<uint32_t>(customMode);
    const double main = (mode >> 16) & 0xFF, sub = (mode >> 24) & 0xFF;
    if (main == Px4AutoMain)
        return NameOr(Named(Px4AutoModes, sub), customMode);
    if (main == Px4PositionMain && sub == Px4OrbitSub)
        return "ORBIT";
    return NameOr(Named(Px4MainModes, main), customMode);
}
