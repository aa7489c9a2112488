#pragma once
#include <string>
#include <vector>

#include <osg/MatrixTransform>
#include <osg/Node>
#include <osg/ref_ptr>

#include "track/VehicleKind.h"

// A model for each kind of vehicle, made here from a few solids the way the demo's glider
// is made: in metres at the vehicle's true size, nose along +y, right side along +x, up +z,
// its origin where the position was logged (a paraglider's and a hang glider's at the pilot,
// who carries the receiver). Each stays under about 4,000 triangles and is lit by the
// scene's light through its materials' colours; a left red and a right green wing tip or
// arm tell its heading from afar.

// A rotor or propeller of a model: the transform that turns it about `axis` (the model's
// frame), and whether it lifts (a multirotor's, a helicopter's, a quadplane's hover motors)
// or pushes forward (a plane's propeller, a quadplane's pusher).
struct VehicleRotor
{
    osg::ref_ptr<osg::MatrixTransform> spinner;
    osg::Vec3d hub;  // where it turns, in the model's frame
    osg::Vec3d axis; // unit
    bool lifts = true;
    double direction = 1.0; // neighbouring rotors of a multirotor turn opposite ways
    double angle = 0.0;     // radians, where it stands
};

struct VehicleModel
{
    osg::ref_ptr<osg::Group> node; // in metres
    std::vector<VehicleRotor> rotors;
    double radius = 0.0; // metres: the farthest point from the origin
    int triangles = 0;
};

// The model for `kind`; Unknown has none (an empty node): the caller keeps the world's.
VehicleModel BuildVehicleModel(VehicleKind kind);

// Turns the rotors to where they stand `seconds` into the flight: those that `liftRunning` or
// `thrustRunning` say are driven turn at a steady few turns a second, the others stay where
// they stopped.
void TurnRotors(std::vector<VehicleRotor>& rotors, double seconds, bool liftRunning, bool thrustRunning);

// Whether the motors run at a row, from its servo outputs (microseconds of pulse): the lift
// motors of a multirotor or helicopter when any of the four outputs is above idle, a
// propeller when the throttle's (the third) is. A flight that logs no outputs turns them all.
struct MotorsRunning
{
    bool lift = true;
    bool thrust = true;
};
MotorsRunning MotorsAt(VehicleKind kind, const double outputs[4], bool outputsLogged);

// The pulse width at or under which a motor is taken to be stopped.
const double IdlePulse = 1100.0;

// How the player draws the model: a kind's or the user's own file, its scale and the turn
// that puts the file's nose forward.
struct ModelChoice
{
    std::string file = {};      // --model: any model the scene graph's plug-ins read; empty: the kind's
    double scale = 0.0;         // --model-scale: metres per model unit; 0: true size, enlarged to be seen
    double rotate[3] = {0.0, 0.0, 0.0}; // --model-rotate: yaw, pitch, roll in degrees
};

// The smallest radius (metres) the player draws a model at unless --model-scale says
// otherwise: at the chase camera's 40 m a 0.5 m quadrotor would be a few pixels across.
const double LeastShownRadius = 4.0;

// The model for a flight, in a frame of `k` units per metre, under a transform of its own,
// or null when the flight's kind is Unknown and no file is chosen (the world's model stays).
// `rotors` receives its rotors; `message` a line when the file cannot be read (then null).
osg::ref_ptr<osg::MatrixTransform> BuildFlightModel(VehicleKind kind, const ModelChoice& choice, double k,
                                                    std::vector<VehicleRotor>* rotors, std::string* message);
