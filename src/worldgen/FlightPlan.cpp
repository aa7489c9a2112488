#include "worldgen/FlightPlan.h"

#include <algorithm>
#include <cmath>

#include "geo/MapProjection.h"
#include "worldgen/Landscape.h"
#include "worldgen/Random.h"

namespace
{

const double DegreesToRadians = Pi / 180.0;
const double Gravity = 9.81; // m/s^2

// The wind blows from 245 degrees at 2.5 m/s, along the field's axis.
const double WindFrom = 245.0 * DegreesToRadians;
const double WindSpeed = 2.5;

double WrapTurn(double angle) // into [0, 2 pi), with rounding noise near 2 pi taken as 0
{
    double wrapped = std::fmod(angle, TwoPi);
    if (wrapped < 0.0)
        wrapped += TwoPi;
    return wrapped > TwoPi - 1e-9 ? 0.0 : wrapped;
}

// A point given along and across the field's axis (across positive to the north-west).
PathPose FieldPose(double along, double across, double bearingDegrees)
{
    const double b = FieldAxisBearing * DegreesToRadians;
    PathPose pose;
    pose.east = along * std::sin(b) - across * std::cos(b);
    pose.north = along * std::cos(b) + across * std::sin(b);
    pose.course = bearingDegrees * DegreesToRadians;
    return pose;
}

} // namespace

GroundPath::GroundPath(const PathPose& start)
    : end(start)
{
}

PathPose GroundPath::PoseOnLeg(const PathLeg& leg, double distance)
{
    PathPose pose = leg.start;
    const double psi0 = leg.start.course;
    if (std::fabs(leg.curvature) < 1e-12)
    {
        pose.east += distance * std::sin(psi0);
        pose.north += distance * std::cos(psi0);
        return pose;
    }
    const double psi = psi0 + leg.curvature * distance;
    pose.east += (std::cos(psi0) - std::cos(psi)) / leg.curvature;
    pose.north += (std::sin(psi) - std::sin(psi0)) / leg.curvature;
    pose.course = WrapTurn(psi);
    return pose;
}

void GroundPath::Add(double length, double curvature, double duration, const LegStyle& style)
{
    PathLeg leg;
    leg.start = end;
    leg.length = length;
    leg.curvature = curvature;
    leg.duration = duration;
    leg.style = style;
    legs.push_back(leg);
    end = PoseOnLeg(leg, length);
}

void GroundPath::Stand(double seconds, const LegStyle& style)
{
    Add(0.0, 0.0, seconds, style);
}

void GroundPath::Straight(double length, const LegStyle& style)
{
    if (length > 1e-6)
        Add(length, 0.0, 0.0, style);
}

void GroundPath::Turn(double radius, double angle, const LegStyle& style)
{
    if (std::fabs(angle) > 1e-9)
        Add(std::fabs(angle) * radius, (angle > 0.0 ? 1.0 : -1.0) / radius, 0.0, style);
}

void GroundPath::DubinsTo(const PathPose& target, double radius, const LegStyle& style)
{
    const PathPose from = end;
    // Centre of the turning circle on side `dir` (+1 right, -1 left) of a pose.
    auto centre = [radius](const PathPose& p, int dir, double& e, double& n) {
        e = p.east + dir * radius * std::cos(p.course);
        n = p.north - dir * radius * std::sin(p.course);
    };
    double best = 1e300;
    double bestTurn1 = 0.0;
    double bestStraight = 0.0;
    double bestTurn2 = 0.0;
    for (int dir1 = -1; dir1 <= 1; dir1 += 2)
    {
        for (int dir2 = -1; dir2 <= 1; dir2 += 2)
        {
            double e1 = 0.0;
            double n1 = 0.0;
            double e2 = 0.0;
            double n2 = 0.0;
            centre(from, dir1, e1, n1);
            centre(target, dir2, e2, n2);
            const double d = std::hypot(e2 - e1, n2 - n1);
            const double centreLine = std::atan2(e2 - e1, n2 - n1);
            double straightCourse = centreLine;
            double straight = d;
            if (dir1 != dir2)
            {
                // Crossing tangent: only exists when the circles are apart.
                if (d < 2.0 * radius)
                    continue;
                straight = std::sqrt(d * d - 4.0 * radius * radius);
                straightCourse = centreLine + dir1 * std::atan2(2.0 * radius, straight);
            }
            const double turn1 = dir1 * WrapTurn(dir1 * (straightCourse - from.course));
            const double turn2 = dir2 * WrapTurn(dir2 * (target.course - straightCourse));
            const double length = radius * (std::fabs(turn1) + std::fabs(turn2)) + straight;
            if (length < best)
            {
                best = length;
                bestTurn1 = turn1;
                bestStraight = straight;
                bestTurn2 = turn2;
            }
        }
    }
    Turn(radius, bestTurn1, style);
    Straight(bestStraight, style);
    Turn(radius, bestTurn2, style);
}

PathPose LaunchPose()
{
    return FieldPose(110.0, 0.0, FieldAxisBearing + 180.0);
}

GroundPath DemoFlightPath()
{
    const double left = -Pi / 2.0;
    GroundPath path(LaunchPose());

    const LegStyle inHand{FlightMode::InHand, 1.7, 0};
    const LegStyle circuits{FlightMode::Powered, 130.0, 0};
    const LegStyle eight{FlightMode::Powered, 120.0, 0};
    const LegStyle survey{FlightMode::Powered, 120.0, 2};
    const LegStyle descend{FlightMode::Glide, 65.0, 0};
    const LegStyle downwind{FlightMode::Powered, 55.0, 0};
    const LegStyle base{FlightMode::Glide, 38.0, 0};
    const LegStyle approach{FlightMode::Approach, 0.3, 0};
    const LegStyle rollout{FlightMode::Rollout, 0.15, 0};
    const LegStyle rest{FlightMode::Rest, 0.15, 0};

    path.Stand(10.0, inHand);
    // Launch and climb-out along the mown strip, then two left-hand circuits south-east
    // of the field, climbing through the first.
    path.Straight(300.0, circuits);
    for (int circuit = 0; circuit < 2; ++circuit)
    {
        path.Turn(60.0, left, circuits);
        path.Straight(80.0, circuits);
        path.Turn(60.0, left, circuits);
        path.Straight(300.0, circuits);
        path.Turn(60.0, left, circuits);
        path.Straight(80.0, circuits);
        path.Turn(60.0, left, circuits);
        path.Straight(300.0, circuits);
    }

    // A figure-eight: a right-hand loop and a left-hand loop that meet over the field.
    path.DubinsTo(FieldPose(0.0, 0.0, FieldAxisBearing - 90.0), 60.0, eight);
    path.Turn(90.0, TwoPi, eight);
    path.Turn(90.0, -TwoPi, eight);

    // Lawn-mower survey north-west of the field: five lines 340 m long, 55 m apart,
    // joined by half turns alternately left and right.
    const int lines = 5;
    const double spacing = 55.0;
    path.DubinsTo(FieldPose(-260.0, 200.0, FieldAxisBearing), 60.0, survey);
    for (int line = 0; line < lines; ++line)
    {
        path.Straight(340.0, survey);
        if (line + 1 < lines)
            path.Turn(spacing * 0.5, line % 2 == 0 ? -Pi : Pi, survey);
    }

    // Motor off: a gliding left-hand orbit to lose height, then a right-hand circuit on
    // the survey's side of the field to land into the wind on the mown strip.
    path.Turn(80.0, -TwoPi, descend);
    path.DubinsTo(FieldPose(-100.0, 150.0, FieldAxisBearing), 60.0, downwind);
    path.Straight(440.0, downwind);
    path.Turn(55.0, -left, base);
    path.Straight(40.0, base);
    path.Turn(55.0, -left, base);
    path.Straight(245.0, approach);
    path.Straight(14.0, rollout);
    path.Stand(12.0, rest);
    return path;
}

std::vector<FlightState> FlyDemoFlight(const Landscape& landscape, uint32_t seed, double sampleRate)
{
    const GroundPath path = DemoFlightPath();
    const double field = landscape.FieldLevel();
    const double dt = 0.01;
    const int32_t stepsPerSample = static_cast<int32_t>(std::lround(1.0 / (sampleRate * dt)));
    const double launchAltitude = field + 1.7;

    Random random(seed);
    Wander gpsEast(0.6, 60.0);
    Wander gpsNorth(0.6, 60.0);
    Wander gpsUp(0.4, 40.0);
    Wander baroDrift(0.5, 120.0);
    Wander gustBank(0.035, 1.5);
    Wander gustPitch(0.015, 1.0);
    Wander gustHeight(0.25, 3.0);

    std::vector<FlightState> states;
    int32_t step = 0;
    double airSpeed = 0.0;
    double height = launchAltitude; // true altitude above sea level
    double climbRate = 0.0;
    double bank = 0.0;
    double consumed = 0.0;
    double voltageFiltered = 12.5;
    double lastGroundSpeed = 0.0;
    int32_t satellites = 9;
    double nextSatelliteChange = 35.0;

    for (const PathLeg& leg : path.Legs())
    {
        const LegStyle& style = leg.style;
        const double target = field + style.height;
        const double approachStart = height;
        double distance = 0.0;
        double legTime = 0.0;
        const bool standing = style.mode == FlightMode::InHand || style.mode == FlightMode::Rest;
        const double rolloutSpeed = lastGroundSpeed; // touchdown speed over the grass

        while (standing ? legTime < leg.duration - 1e-9 : distance < leg.length - 1e-9)
        {
            const PathPose pose = GroundPath::PoseOnLeg(leg, distance);

            // Air speed, throttle and vertical speed of the mode.
            double throttle = 0.0;
            double climbCommand = 0.0;
            double groundSpeed = 0.0;
            const double windAlong = -WindSpeed * std::cos(pose.course - WindFrom);
            switch (style.mode)
            {
            case FlightMode::InHand:
            case FlightMode::Rest:
                airSpeed = 0.0;
                climbRate = 0.0;
                height = target;
                break;
            case FlightMode::Powered:
                climbCommand = std::clamp(0.35 * (target - height), -1.5, 3.0);
                throttle = std::clamp(0.38 + 0.16 * climbCommand, 0.0, 0.9);
                // The throw: the pilot runs two steps and lets go at about 9 m/s.
                if (airSpeed < 9.0)
                    airSpeed = std::min(9.0, airSpeed + 25.0 * dt);
                else
                    airSpeed += (12.0 - 0.33 * climbCommand - airSpeed) * dt / 2.0;
                break;
            case FlightMode::Glide:
                climbCommand = std::clamp(0.3 * (target - height), -2.2, -0.7);
                airSpeed += (10.0 - airSpeed) * dt / 2.0;
                break;
            case FlightMode::Approach:
            {
                // A straight glide path from where the leg starts to touchdown at its end.
                const double along = std::min(distance / leg.length, 1.0);
                const double glidePath = approachStart + (target - approachStart) * along;
                const double slope = (target - approachStart) / leg.length;
                airSpeed += (9.5 - airSpeed) * dt / 2.0;
                const double ground = std::max(airSpeed + windAlong, 1.0);
                climbCommand = std::clamp(slope * ground + 0.8 * (glidePath - height), -3.0, 0.0);
                if (height - target < 2.5) // flare
                    climbCommand = std::max(climbCommand, -0.45);
                break;
            }
            case FlightMode::Rollout:
            {
                // Sliding on the belly: the speed falls evenly to stop at the leg's end.
                const double left = std::max(leg.length - distance, 0.0);
                airSpeed = std::max(rolloutSpeed * std::sqrt(left / leg.length), 0.3);
                climbRate = 0.0;
                height = target;
                break;
            }
            }

            const bool airborne = style.mode == FlightMode::Powered || style.mode == FlightMode::Glide
                || style.mode == FlightMode::Approach;
            if (airborne)
            {
                groundSpeed = std::max(airSpeed + windAlong * std::min(airSpeed / 8.0, 1.0), 0.0);
                climbRate += (climbCommand - climbRate) * dt / 1.2;
                height += climbRate * dt;
                if (style.mode == FlightMode::Approach)
                    height = std::max(height, target);
            }
            else
                groundSpeed = airSpeed;

            // Bank follows the curvature of the track with the lag of a real roll.
            const double bankCommand = airborne ? std::atan(groundSpeed * groundSpeed * leg.curvature / Gravity) : 0.0;
            bank += std::clamp((bankCommand - bank) / 0.25, -1.5, 1.5) * dt;
            const double gustB = gustBank.Step(random, dt);
            const double gustP = gustPitch.Step(random, dt);
            const double gustH = gustHeight.Step(random, dt);
            const double ex = gpsEast.Step(random, dt);
            const double ny = gpsNorth.Step(random, dt);
            const double up = gpsUp.Step(random, dt);
            const double baro = baroDrift.Step(random, dt);

            // Battery: three cells, 2200 mAh, internal resistance 55 milliohm.
            const double current = 0.35 + 10.5 * std::pow(throttle, 1.5);
            consumed += current * dt / 3.6;
            const double charge = std::clamp(0.98 - consumed / 2200.0, 0.0, 1.0);
            const double voltage = 3.0 * (3.55 + 0.62 * charge) - current * 0.055;
            voltageFiltered += (voltage - voltageFiltered) * dt / 0.3;

            if (step % stepsPerSample == 0)
            {
                FlightState s;
                s.time = step * dt;
                s.mode = style.mode;
                s.autopilot = style.autopilot;
                s.course = pose.course;
                s.groundSpeed = groundSpeed + (airborne ? 0.08 * random.Gaussian() : 0.0);
                s.airSpeed = std::max(0.0, airSpeed + (airborne ? 0.3 * random.Gaussian() : 0.0));
                s.turnRate = airborne ? leg.curvature * groundSpeed : 0.0;
                // The nose points into the air stream: ground velocity minus the wind.
                const double ae = groundSpeed * std::sin(pose.course) + WindSpeed * std::sin(WindFrom);
                const double an = groundSpeed * std::cos(pose.course) + WindSpeed * std::cos(WindFrom);
                s.airHeading = airborne ? std::fmod(std::atan2(ae, an) + TwoPi, TwoPi) : pose.course;
                s.bankCommand = bankCommand;
                s.bank = bank + (airborne ? gustB : 0.0);
                // Angle of attack: about 2.6 degrees at 12 m/s, more when slow or banked.
                const double slow = 12.0 / std::max(airSpeed, 6.0);
                const double attack = airborne ? std::min(0.045 * slow * slow, 0.12) / std::cos(bank) : 0.0;
                s.pitchCommand = airborne ? std::atan2(climbCommand, airSpeed) + attack : 0.0;
                if (style.mode == FlightMode::InHand)
                    s.pitch = 0.10; // held a little nose-up, ready to throw
                else if (!airborne)
                    s.pitch = 0.04; // on its belly in the grass
                else
                    s.pitch = std::atan2(climbRate, std::max(airSpeed, 1.0)) + attack + gustP;
                s.throttle = throttle;
                s.current = current + 0.04 * random.Gaussian();
                s.voltage = voltageFiltered + 0.01 * random.Gaussian();
                s.lowestCell = voltageFiltered / 3.0 - 0.012;
                s.consumed = consumed;
                // GPS: a few decimetres of slow wander; never below the grass it lies on.
                s.east = pose.east + ex;
                s.north = pose.north + ny;
                const double trueAltitude = height + (airborne ? gustH : 0.0);
                s.altitude = airborne ? trueAltitude + up : std::max(trueAltitude + up * 0.2, field + 0.05);
                s.baroAltitude = trueAltitude - launchAltitude + baro;
                s.temperature = 21.5 + 0.6 * std::sin(s.time / 300.0) - 0.0065 * (trueAltitude - field);
                if (s.time >= nextSatelliteChange)
                {
                    satellites = std::clamp(satellites + (random.Uniform() < 0.5 ? -1 : 1), 8, 12);
                    nextSatelliteChange += 25.0 + 40.0 * random.Uniform();
                }
                s.satellites = satellites;
                states.push_back(s);
            }

            ++step;
            legTime += dt;
            distance += groundSpeed * dt;
            lastGroundSpeed = groundSpeed;
        }
    }
    return states;
}
