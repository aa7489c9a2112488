#pragma once
#include <cstdint>

#include <osg/Vec3f>

#include "geo/Geodesy.h"

const int32_t TileScale = 262144; // zoom-18 tiles around the world (2^18)

// The flat local frame every builder works in. One unit is one zoom-18 tile; x grows
// southwards (tile rows), y eastwards (tile columns), z up. The origin is the north-west
// corner of tile (CI, CJ). A flight's frame is fixed on its centre (MapFrameOn) and handed to
// whatever draws or measures it.
struct MapFrameValues
{
    int32_t CI = 0; // zoom-18 tile row of the flight centre, counted from the north edge
    int32_t CJ = 0; // zoom-18 tile column, counted eastwards from 180 degrees west
    double k = 0.0; // tile units per metre at the centre latitude
};

// Normalised map x of a longitude in degrees: 0 at 180 W, growing east. Longitudes below
// -180 are not wrapped and give negative values.
double LongitudeX(double longitude);

// Normalised Mercator y of a latitude in degrees: 0 at the north edge, 0.5 at the equator.
// At the poles (sine exactly +-1) it returns +-1e20 instead of an infinity.
double MercatorY(double latitude);

// Ground length in metres of one zoom-18 tile side at a latitude in degrees, on the sphere
// of EarthRadius: 1 / k at the flight centre.
double MetresPerTile(double latitude);

// The frame fixed on a flight centre (degrees).
MapFrameValues MapFrameOn(double centreLatitude, double centreLongitude);

// Inverses of the projection on the zoom-18 grid, for fractional grid coordinates too: the
// latitude in degrees whose MercatorY * TileScale is `row`, and the longitude whose
// LongitudeX * TileScale is `column` (-180 at column 0).
double GridRowLatitude(double row);
double GridColumnLongitude(double column);

// Position of a sample in `frame` (latitude and longitude in minutes of arc, as the log
// stores them, altitude in metres), each component computed in double and rounded once to
// float. The track and the flight path both use it, so they agree to the bit.
osg::Vec3f ScenePosition(const MapFrameValues& frame, double latitude, double longitude, double altitude);

// How far the Earth's surface lies below the flat frame of scale k (tile units per metre) at
// horizontal offset (a, b) from the origin, all in tile units.
double CurvatureDrop(double k, double a, double b);
