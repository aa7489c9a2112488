#include "geo/MapFrame.h"

#include <cmath>
#include <limits>

MapFrameValues MapFrame;

double LongitudeX(double longitude)
{
    return std::fmod(longitude + 180.0, 360.0) / 360.0;
}

double MercatorY(double latitude)
{
    const double s = std::sin(latitude * Pi / 180.0);
    // The formula runs to -inf at the north limit and +inf at the south; these stand-ins
    // keep the sign of the pole rather than of the formula.
    if (s >= 1.0)
        return 1e20;
    if (s <= -1.0)
        return -1e20;
    return (2.0 - std::log((1.0 + s) / (1.0 - s)) / Pi) / 4.0;
}

// Truncation toward zero into int32; values beyond the range (a centre at a pole, where
// MercatorY is +-1e20) saturate instead of overflowing. NaN becomes 0.
static int32_t TruncateToTile(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

double MetresPerTile(double latitude)
{
    return EarthRadius * TwoPi * std::cos(latitude * Pi / 180.0) / TileScale;
}

void SetUpMapFrame(double centreLatitude, double centreLongitude)
{
    MapFrame = MapFrameOn(centreLatitude, centreLongitude);
}

MapFrameValues MapFrameOn(double centreLatitude, double centreLongitude)
{
    MapFrameValues frame;
    frame.k = 1.0 / MetresPerTile(centreLatitude);
    frame.CI = TruncateToTile(MercatorY(centreLatitude) * TileScale);
    frame.CJ = TruncateToTile(LongitudeX(centreLongitude) * TileScale);
    return frame;
}

double GridRowLatitude(double row)
{
    // MercatorY = 1/2 - psi / (2 pi), with psi the isometric latitude atanh(sin(latitude)).
    const double psi = (0.5 - row / TileScale) * TwoPi;
    return std::atan(std::sinh(psi)) / (Pi / 180.0);
}

double GridColumnLongitude(double column)
{
    return column / TileScale * 360.0 - 180.0;
}

// double to float without undefined behaviour: a log can hold an altitude of 400 digits,
// whose product with k is finite but beyond float. It becomes the infinity of its sign.
static float ToFloat(double value)
{
    if (value > std::numeric_limits<float>::max())
        return std::numeric_limits<float>::infinity();
    if (value < -std::numeric_limits<float>::max())
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

osg::Vec3f ScenePosition(const MapFrameValues& frame, double latitude, double longitude, double altitude)
{
    const double x = MercatorY(latitude / 60.0) * TileScale - frame.CI;
    const double y = LongitudeX(longitude / 60.0) * TileScale - frame.CJ;
    const double z = altitude * frame.k;
    return osg::Vec3f(ToFloat(x), ToFloat(y), ToFloat(z));
}

double CurvatureDrop(double k, double a, double b)
{
    const double radius = EarthRadius * k;
    const double d = std::sqrt(a * a + b * b);
    return (1.0 - std::cos(d / radius)) * radius;
}

osg::Vec3f ScenePosition(double latitude, double longitude, double altitude)
{
    return ScenePosition(MapFrame, latitude, longitude, altitude);
}

double CurvatureDrop(double a, double b)
{
    return CurvatureDrop(MapFrame.k, a, b);
}
