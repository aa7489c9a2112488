#pragma once
// Where the demo world lies and how its local metric frame relates to latitude, longitude
// and the zoom-18 tile grid. Everything the generator makes (terrain, land cover, flight)
// is a function of latitude and longitude through these conversions, so the log, the
// elevation tiles and the imagery describe one and the same place.

// The centre of the launch field: an invented spot in mid-latitude farmland.
const double SiteLatitude = 47.6153;  // degrees north
const double SiteLongitude = 8.9021;  // degrees east

// Local frame: metres east and north of the site, on the sphere of EarthRadius, with the
// east scale of the site's latitude (an equirectangular frame; over the 35 km of the
// terrain its error against the map grid is a few decimetres, and it is applied the same
// way everywhere, so nothing disagrees).
double NorthOfLatitude(double latitude);   // degrees -> metres
double EastOfLongitude(double longitude);  // degrees -> metres
double LatitudeOfNorth(double north);      // metres -> degrees
double LongitudeOfEast(double east);       // metres -> degrees
