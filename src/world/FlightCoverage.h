#pragma once
#include <cstdint>
#include <vector>

#include "geo/GeoTiles.h"

// How much of a flight the replay's terrain lies under. The terrain is six nested squares of
// 7 x 7 tiles around the map-frame tile, zoom 18 inside, 13 outside, whatever the flight's
// size; a sample outside the outermost square flies over nothing.

// One level's square.
struct LevelCoverage
{
    int32_t level;
    TileRange tiles;        // the square's tiles at this level
    double sideKilometres;  // its side at the flight centre
    int64_t samples;        // flight samples over it
};

struct FlightCoverage
{
    int64_t samples = 0;               // positions of the flight
    std::vector<LevelCoverage> levels; // 18 down to 13
    int64_t outside = 0;               // samples beyond the outermost square
    double farthestKilometres = 0.0;   // how far the farthest of them lies beyond its edge
    TileRange flightTiles = {};        // tiles of the coarsest level the whole flight touches
    GeoBox flightBox = {};             // the box of those tiles
};

// The coverage of positions (latitudes and longitudes in degrees) by the terrain around the
// map-frame tile (CI, CJ); `metresPerTile` is the length of a zoom-18 tile at the centre.
FlightCoverage MeasureFlightCoverage(const std::vector<double>& latitudes, const std::vector<double>& longitudes, int32_t CI, int32_t CJ, double metresPerTile);
