#pragma once
#include <string>
#include <vector>

#include <osg/MatrixTransform>
#include <osg/ref_ptr>

#include "geo/MapProjection.h"
#include "track/FlightWind.h"

// The wind at the clock: a line of the display, and a windsock at the take-off point.

// "wind from 270° 5.2 m/s ↓ (circles)": the direction the wind blows from and its speed, an
// arrow the way the air goes seen from behind the aircraft (up: along its nose), and the
// method that gave the figure. `heading` is the aircraft's course, degrees from north.
std::string WindLine(const TimedWind& wind, double heading);

// A pole of 6 m with a striped sock that streams downwind, fully out from 7.5 m/s and hanging
// down in a calm, made here and lit like the rest, standing at `foot` (frame units, `k` per
// metre).
class Windsock
{
public:
    Windsock(const osg::Vec3d& foot, double k);
    osg::MatrixTransform* Node() const { return pole.get(); }
    void MoveTo(const osg::Vec3d& foot) { pole->setMatrix(osg::Matrixd::translate(foot)); }
    // Turns and lifts the sock for `wind`; hidden when there is none (null).
    void Show(const TimedWind* wind);
    // The sock's pointing (unit, in the frame: x east, y north, z up) as Show left it.
    osg::Vec3d Streaming() const { return streaming; }

private:
    osg::ref_ptr<osg::MatrixTransform> pole;
    osg::ref_ptr<osg::MatrixTransform> sock;
    double k;
    osg::Vec3d streaming{0.0, 0.0, -1.0};
};

// The wind speed at which a sock stands straight out.
const double SockFullyOut = 7.5;
