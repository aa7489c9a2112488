#pragma once
#include <cstdint>
#include <vector>

class Landscape;

// What the aircraft is doing on a leg; it sets the air speed, the throttle and how the
// height is held.
enum class FlightMode
{
    InHand,   // held by the pilot before the launch, motor off
    Powered,  // motor on, climbing to or holding the leg's height
    Glide,    // motor off, sinking towards the leg's height
    Approach, // motor off, on a straight glide path to touchdown at the leg's end
    Rollout,  // sliding to a stop on the grass
    Rest,     // lying still after the landing
};

// Position and direction of flight over the ground: metres east and north of the site,
// course as a compass bearing in radians (clockwise from north).
struct PathPose
{
    double east = 0.0;
    double north = 0.0;
    double course = 0.0;
};

// How a leg is flown.
struct LegStyle
{
    FlightMode mode = FlightMode::Powered;
    double height = 0.0;   // target height above the field, metres
    int32_t autopilot = 0; // 0: the pilot flies, 2: the autopilot flies a mission
};

// A piece of the ground track: straight (curvature 0) or a circular arc; or, for the
// modes InHand and Rest, standing still for `duration` seconds.
struct PathLeg
{
    PathPose start;
    double length = 0.0;    // metres
    double curvature = 0.0; // 1/metres, positive turning right (clockwise)
    double duration = 0.0;  // seconds, standing legs only
    LegStyle style;
};

// A ground track made of legs, each starting where the previous one ended, so position
// and course are continuous along the whole track.
class GroundPath
{
public:
    explicit GroundPath(const PathPose& start);

    void Stand(double seconds, const LegStyle& style);
    void Straight(double length, const LegStyle& style);
    // angle in radians: positive turns right (clockwise), negative left.
    void Turn(double radius, double angle, const LegStyle& style);
    // The shortest turn-straight-turn link with turns of `radius` to the target pose.
    void DubinsTo(const PathPose& target, double radius, const LegStyle& style);

    PathPose End() const { return end; }
    const std::vector<PathLeg>& Legs() const { return legs; }

    static PathPose PoseOnLeg(const PathLeg& leg, double distance);

private:
    void Add(double length, double curvature, double duration, const LegStyle& style);

    std::vector<PathLeg> legs;
    PathPose end;
};

// One moment of the flight as the aircraft's sensors saw it.
struct FlightState
{
    double time = 0.0;          // seconds since the first sample
    double east = 0.0;          // metres east of the site (GPS, with its slow wander)
    double north = 0.0;         // metres north of the site
    double altitude = 0.0;      // metres above sea level (GPS)
    double course = 0.0;        // compass bearing of the ground track, radians
    double airHeading = 0.0;    // compass bearing of the nose, radians (differs by the wind's crab)
    double groundSpeed = 0.0;   // m/s
    double airSpeed = 0.0;      // m/s
    double bank = 0.0;          // radians, right wing down positive
    double pitch = 0.0;         // radians, nose up positive
    double bankCommand = 0.0;   // radians, what the pilot or autopilot asked for
    double pitchCommand = 0.0;  // radians
    double turnRate = 0.0;      // d(course)/dt, radians per second, clockwise positive
    double throttle = 0.0;      // 0 .. 1
    double current = 0.0;       // amperes drawn from the battery
    double voltage = 0.0;       // battery volts under load
    double lowestCell = 0.0;    // volts of the weakest of the three cells
    double consumed = 0.0;      // mAh taken from the battery
    double baroAltitude = 0.0;  // metres above the launch point (barometer)
    double temperature = 0.0;   // degrees Celsius
    int32_t autopilot = 0;      // 0 manual, 2 mission
    int32_t satellites = 0;
    FlightMode mode = FlightMode::InHand;
};

// The demo flight: a hand launch on the field's mown strip into the wind, a climb to
// 130 m above the field, two left-hand circuits, a figure-eight over the field, a
// lawn-mower survey north-west of it under the autopilot, a gliding descent, a right-hand
// circuit to land, touchdown, a short slide on the grass and rest. About 13 minutes.
GroundPath DemoFlightPath();

// Flies the path and returns the states at `sampleRate` samples per second. The seed
// picks the gusts, the sensor noise and the GPS wander.
std::vector<FlightState> FlyDemoFlight(const Landscape& landscape, uint32_t seed, double sampleRate);

// The launch point: on the mown strip, heading into the wind.
PathPose LaunchPose();
