#include "WorldSite.h"

#include <cmath>

#include "app/MapFrame.h"

static const double DegreesToRadians = Pi / 180.0;

double NorthOfLatitude(double latitude)
{
    return (latitude - SiteLatitude) * DegreesToRadians * EarthRadius;
}

double EastOfLongitude(double longitude)
{
    return (longitude - SiteLongitude) * DegreesToRadians * EarthRadius * std::cos(SiteLatitude * DegreesToRadians);
}

double LatitudeOfNorth(double north)
{
    return SiteLatitude + north / (EarthRadius * DegreesToRadians);
}

double LongitudeOfEast(double east)
{
    return SiteLongitude + east / (EarthRadius * DegreesToRadians * std::cos(SiteLatitude * DegreesToRadians));
}

double GridRowLatitude(double row)
{
    // MercatorY = 1/2 - psi / (2 pi) with psi the isometric latitude atanh(sin(lat)).
    const double psi = (0.5 - row / TileScale) * TwoPi;
    return std::atan(std::sinh(psi)) / DegreesToRadians;
}

double GridColumnLongitude(double column)
{
    return column / TileScale * 360.0 - 180.0;
}

double TileMetres(double latitude)
{
    return EarthRadius * TwoPi * std::cos(latitude * DegreesToRadians) / TileScale;
}
