#include "geo/Geodesy.h"

#include <algorithm>
#include <cmath>

double GroundDistance(double latitude1, double longitude1, double latitude2, double longitude2)
{
    const double phi1 = latitude1 * RadiansPerDegree;
    const double phi2 = latitude2 * RadiansPerDegree;
    const double sinLatitude = std::sin((phi2 - phi1) / 2.0);
    const double sinLongitude = std::sin((longitude2 - longitude1) * RadiansPerDegree / 2.0);
    const double h = sinLatitude * sinLatitude + std::cos(phi1) * std::cos(phi2) * sinLongitude * sinLongitude;
    return 2.0 * EarthRadius * std::asin(std::sqrt(std::min(1.0, h)));
}

double WrapAngle(double angle)
{
    angle = std::fmod(angle, TwoPi);
    if (angle > Pi)
        angle -= TwoPi;
    else if (angle <= -Pi)
        angle += TwoPi;
    return angle;
}

double WrapLongitude(double longitude)
{
    const double wrapped = std::fmod(longitude + 180.0, 360.0);
    return (wrapped < 0.0 ? wrapped + 360.0 : wrapped) - 180.0;
}
