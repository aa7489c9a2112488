#pragma once

// The Earth and the angles every layer measures with. The map frame, the readers of flight
// files, the flight check and the player's figures all take their constants and their one
// ground distance from here, so that they agree.

const double Pi = 3.141592653589793;
const double TwoPi = 6.283185307179586;
const double RadiansPerDegree = Pi / 180.0;
const double DegreesPerRadian = 180.0 / Pi;
const double RadiansPerMinute = Pi / (180.0 * 60.0); // the log stores positions in minutes of arc

const double EarthRadius = 6374000.0; // metres, a sphere: the map frame needs no ellipsoid

// The map's tiles end where the web map is square, at atan(sinh(pi)) north and south: nearer
// the poles there is no tile, and the replay's grid rows run off to millions.
const double MapLatitudeLimit = 85.0511287798;

// The longitude in degrees brought into [-180, 180) by whole turns, for reading a source
// that knows each place by one longitude only.
double WrapLongitude(double longitude);
// An angle in radians brought into (-pi, pi] by whole turns: the short way from one bearing
// to another.
double WrapAngle(double angle);

// Metres along the ground between two positions (latitude, longitude in degrees) on the
// sphere of EarthRadius: the great-circle distance by the haversine, which stays exact for
// the metres between two fixes and is right at any distance, across the antimeridian too.
// Positions in minutes of arc are divided by 60 first.
double GroundDistance(double latitude1, double longitude1, double latitude2, double longitude2);
