#include "worldgen/WorldSite.h"

#include <cmath>

#include "geo/MapProjection.h"

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
