#include "worldgen/CorridorFlight.h"

#include <algorithm>
#include <cmath>

#include "geo/Geodesy.h"
#include "worldgen/Landscape.h"
#include "worldgen/Random.h"

namespace
{

const double DegreesToRadians = Pi / 180.0;
const double Gravity = 9.81; // m/s^2

// A west-south-westerly of 4 m/s: the day's thermals drift with it and the course runs downwind.
const double WindFrom = 245.0 * DegreesToRadians;
const double WindSpeed = 4.0;
const double WindEast = -WindSpeed * std::sin(WindFrom);
const double WindNorth = -WindSpeed * std::cos(WindFrom);

const double TakeOffSpeed = 24.0;     // m/s
const double ClimbSpeed = 27.0;       // m/s under power
const double ClimbCircleRadius = 250.0;
const double ThermalSpeed = 24.0;     // m/s circling
const double ThermalBank = 40.0 * DegreesToRadians;
const double ApproachSpeed = 25.0;    // m/s
const double ApproachSink = 3.5;      // m/s with the air brakes out
const double AntennaHeight = 0.3;     // metres above the ground when standing

enum class Phase
{
    Ready,
    TakeOffRun,
    PoweredClimb,
    Glide,
    Thermal,
    Approach,
    Rollout,
    Rest,
};

FlightMode ModeOf(Phase phase)
{
    switch (phase)
    {
    case Phase::Ready:
        return FlightMode::InHand;
    case Phase::TakeOffRun:
    case Phase::PoweredClimb:
        return FlightMode::Powered;
    case Phase::Glide:
    case Phase::Thermal:
        return FlightMode::Glide;
    case Phase::Approach:
        return FlightMode::Approach;
    case Phase::Rollout:
        return FlightMode::Rollout;
    case Phase::Rest:
        break;
    }
    return FlightMode::Rest;
}

double Wrap(double angle) // into [0, 2 pi)
{
    const double wrapped = std::fmod(angle, TwoPi);
    return wrapped < 0.0 ? wrapped + TwoPi : wrapped;
}

double Signed(double angle) // into [-pi, pi)
{
    return Wrap(angle + Pi) - Pi;
}

// Sink rate in still air at an air speed: least about 22 m/s, a metre a second at 32.
double GlideSink(double airSpeed)
{
    return 0.6 + 0.0045 * (airSpeed - 22.0) * (airSpeed - 22.0);
}

} // namespace

std::vector<FlightState> FlyCorridorFlight(const Landscape& landscape, uint32_t seed, double kilometres,
                                           double sampleRate)
{
    const double dt = 0.1;
    const int32_t stepsPerSample = std::max(1, static_cast<int32_t>(std::lround(1.0 / (sampleRate * dt))));
    const double length = kilometres * 1000.0;
    const double field = landscape.FieldLevel();
    const PathPose launch = LaunchPose();
    // Above the field before setting off: enough for a few glides, never more than the
    // final descent can lose within the flight's length.
    const double climbTop = std::clamp(length / 10.0, 150.0, 900.0);

    Random random(seed * 3u + 11u);
    const double baseCourse = (50.0 + 30.0 * random.Uniform()) * DegreesToRadians;
    const double phase1 = TwoPi * random.Uniform();
    const double phase2 = TwoPi * random.Uniform();
    // The course wanders about the base bearing over tens of kilometres, and a little faster.
    auto courseAt = [&](double flown) {
        return baseCourse + 18.0 * DegreesToRadians * std::sin(TwoPi * flown / 37000.0 + phase1)
            + 9.0 * DegreesToRadians * std::sin(TwoPi * flown / 11000.0 + phase2);
    };
    Wander gpsEast(0.6, 60.0);
    Wander gpsNorth(0.6, 60.0);
    Wander gpsUp(0.5, 40.0);
    Wander baroDrift(0.5, 120.0);
    Wander airmass(0.5, 20.0); // rising and sinking air on the glides, m/s
    Wander gustBank(0.03, 1.5);

    double east = launch.east;
    double north = launch.north;
    double heading = launch.course; // of the nose
    double airSpeed = 0.0;
    double turnRate = 0.0; // of the heading, clockwise positive
    double bank = 0.0;
    double climbRate = 0.0;
    double height = field + AntennaHeight;
    const double launchAltitude = height;
    double consumed = 0.0;
    double flown = 0.0; // metres of ground track since setting off on course
    double cruise = 32.0;
    double lowest = std::min(600.0, climbTop * 0.6); // above the ground, where the glide looks for lift
    double thermalTop = 0.0;
    double thermalClimb = 0.0;
    double thermalTurn = 1.0;
    int32_t satellites = 10;
    double nextSatelliteChange = 40.0;
    Phase phase = Phase::Ready;
    double phaseTime = 0.0;
    auto enter = [&](Phase next) {
        phase = next;
        phaseTime = 0.0;
    };

    std::vector<FlightState> states;
    for (int64_t step = 0;; ++step)
    {
        const double time = step * dt;
        const double ground = landscape.Height(east, north);
        const double above = height - ground;
        const double wantedCourse = courseAt(flown);
        // Whether a descent with the air brakes from `above` the ground, on the wanted
        // course, would end the flight's length or more from the take-off.
        auto landsBeyond = [&](double above) {
            const double descent = above / ApproachSink * (ApproachSpeed + WindSpeed);
            return std::hypot(east + descent * std::sin(wantedCourse) - launch.east,
                              north + descent * std::cos(wantedCourse) - launch.north)
                >= length;
        };
        // The nose into the crosswind, so that the track holds the wanted course.
        const double crosswind = WindSpeed * std::sin(Wrap(WindFrom + Pi) - wantedCourse);
        const double wantedHeading = wantedCourse - std::asin(std::clamp(crosswind / std::max(airSpeed, 10.0), -0.5, 0.5));
        const double steer = std::clamp(0.15 * Signed(wantedHeading - heading), -0.12, 0.12);

        double throttle = 0.0;
        double climbCommand = 0.0;
        double turnCommand = 0.0;
        switch (phase)
        {
        case Phase::Ready:
            if (phaseTime >= 10.0)
                enter(Phase::TakeOffRun);
            break;
        case Phase::TakeOffRun:
            throttle = 1.0;
            airSpeed += 1.8 * dt;
            if (airSpeed >= TakeOffSpeed)
                enter(Phase::PoweredClimb);
            break;
        case Phase::PoweredClimb:
            throttle = 1.0;
            airSpeed += (ClimbSpeed - airSpeed) * dt / 3.0;
            climbCommand = 2.5;
            // Straight ahead over the field's end, then left-hand circles over the field.
            turnCommand = phaseTime > 20.0 ? -ClimbSpeed / ClimbCircleRadius : 0.0;
            if (height >= field + climbTop)
                enter(Phase::Glide);
            break;
        case Phase::Glide:
        {
            airSpeed += (cruise - airSpeed) * dt / 4.0;
            climbCommand = -GlideSink(airSpeed) + airmass.Step(random, dt);
            turnCommand = steer;
            // Far enough that the air brakes bring it down at the flight's length.
            if (landsBeyond(above))
                enter(Phase::Approach);
            else if (above < lowest || (above < 1300.0 && random.Uniform() < dt / 150.0))
            {
                enter(Phase::Thermal);
                thermalClimb = 1.6 + 2.0 * random.Uniform();
                thermalTop = std::max(field + 1500.0 + 500.0 * random.Uniform(), height + 200.0);
                thermalTurn = random.Uniform() < 0.5 ? -1.0 : 1.0;
            }
            break;
        }
        case Phase::Thermal:
        {
            airSpeed += (ThermalSpeed - airSpeed) * dt / 3.0;
            turnCommand = thermalTurn * Gravity * std::tan(ThermalBank) / airSpeed;
            // Centring takes a few turns; the climb comes up to the thermal's strength.
            climbCommand = thermalClimb * std::min(phaseTime / 60.0, 1.0) - GlideSink(airSpeed) * 0.9;
            if (landsBeyond(above))
                enter(Phase::Approach);
            else if (height >= thermalTop)
            {
                enter(Phase::Glide);
                cruise = 30.0 + 4.0 * random.Uniform();
                lowest = std::min(450.0 + 300.0 * random.Uniform(), climbTop * 0.6);
            }
            break;
        }
        case Phase::Approach:
            airSpeed += (ApproachSpeed - airSpeed) * dt / 3.0;
            climbCommand = -ApproachSink;
            turnCommand = steer;
            if (above <= AntennaHeight)
                enter(Phase::Rollout);
            break;
        case Phase::Rollout:
            airSpeed = std::max(airSpeed - 2.0 * dt, 0.0);
            if (airSpeed <= 0.0)
                enter(Phase::Rest);
            break;
        case Phase::Rest:
            airSpeed = 0.0;
            break;
        }
        if (phase == Phase::Rest && phaseTime >= 15.0)
            break;

        const bool airborne = phase == Phase::PoweredClimb || phase == Phase::Glide || phase == Phase::Thermal
            || phase == Phase::Approach;
        turnRate += (turnCommand - turnRate) * dt / 1.5;
        if (!airborne)
            turnRate = 0.0;
        heading = Wrap(heading + turnRate * dt);
        double groundEast = airSpeed * std::sin(heading);
        double groundNorth = airSpeed * std::cos(heading);
        if (airborne)
        {
            groundEast += WindEast;
            groundNorth += WindNorth;
            climbRate += (climbCommand - climbRate) * dt / 2.0;
            height = std::max(height + climbRate * dt, ground + AntennaHeight);
        }
        else
        {
            climbRate = 0.0;
            height = ground + AntennaHeight;
        }
        const double groundSpeed = std::hypot(groundEast, groundNorth);
        const double course = groundSpeed > 0.1 ? Wrap(std::atan2(groundEast, groundNorth)) : heading;
        const double bankCommand = airborne ? std::atan(airSpeed * turnRate / Gravity) : 0.0;
        bank += std::clamp((bankCommand - bank) / 0.8, -0.6, 0.6) * dt;
        const double current = 0.4 + 60.0 * throttle;
        consumed += current * dt / 3.6;
        const double ex = gpsEast.Step(random, dt);
        const double ny = gpsNorth.Step(random, dt);
        const double up = gpsUp.Step(random, dt);
        const double baro = baroDrift.Step(random, dt);
        const double gust = gustBank.Step(random, dt);

        if (step % stepsPerSample == 0)
        {
            FlightState s;
            s.time = time;
            s.mode = ModeOf(phase);
            s.east = east + ex;
            s.north = north + ny;
            s.altitude = airborne ? height + up : std::max(height + up * 0.2, ground + 0.05);
            s.course = course;
            s.airHeading = heading;
            s.groundSpeed = groundSpeed + (airborne ? 0.1 * random.Gaussian() : 0.0);
            s.airSpeed = std::max(0.0, airSpeed + (airborne ? 0.3 * random.Gaussian() : 0.0));
            s.bankCommand = bankCommand;
            s.bank = bank + (airborne ? gust : 0.0);
            const double attack = airborne ? 0.05 * (24.0 / std::max(airSpeed, 15.0)) / std::cos(bank) : 0.0;
            s.pitchCommand = airborne ? std::atan2(climbCommand, std::max(airSpeed, 1.0)) + attack : 0.0;
            s.pitch = airborne ? std::atan2(climbRate, std::max(airSpeed, 1.0)) + attack : 0.02;
            s.turnRate = turnRate;
            s.throttle = throttle;
            // A 14-cell pack of 40 Ah for the motor, read as volts, amperes and mAh.
            s.current = current + 0.05 * random.Gaussian();
            const double charge = std::clamp(0.98 - consumed / 40000.0, 0.0, 1.0);
            s.voltage = 14.0 * (3.55 + 0.62 * charge) - current * 0.02;
            s.lowestCell = s.voltage / 14.0 - 0.01;
            s.consumed = consumed;
            s.baroAltitude = height - launchAltitude + baro;
            s.temperature = 24.0 - 0.0065 * (height - field);
            if (time >= nextSatelliteChange)
            {
                satellites = std::clamp(satellites + (random.Uniform() < 0.5 ? -1 : 1), 8, 14);
                nextSatelliteChange += 30.0 + 60.0 * random.Uniform();
            }
            s.satellites = satellites;
            states.push_back(s);
        }

        east += groundEast * dt;
        north += groundNorth * dt;
        if (phase == Phase::Glide || phase == Phase::Approach)
            flown += groundSpeed * dt;
        phaseTime += dt;
    }
    return states;
}
