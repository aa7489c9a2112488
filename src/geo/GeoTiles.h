#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "geo/ReplayFiles.h"

// Geographic boxes on the map-tile grids the program reads (geo/ReplayFiles.h): zoom-18 grid
// points for elevation, tiles of zoom levels 18 down to 13 for imagery. Latitudes and
// longitudes in degrees (WGS 84 taken as the sphere of the map frame, as web maps do).

// A geographic box, degrees; south < north, west < east (no box crosses 180 degrees).
struct GeoBox
{
    double south;
    double west;
    double north;
    double east;
};

// Reads "S,W,N,E" in decimal degrees. False (box untouched) unless there are exactly four
// numbers, south < north within +-85.05 degrees and west < east within +-180.
bool ParseGeoBox(const char* text, GeoBox* box);

// A block of tiles of one zoom level, bounds inclusive.
struct TileRange
{
    int32_t level;
    int32_t firstRow;
    int32_t lastRow;
    int32_t firstColumn;
    int32_t lastColumn;
};

// Tiles of the given level that the box touches, clipped to the level's grid.
TileRange TilesOfBox(const GeoBox& box, int32_t level);

// The box that a block of tiles of its level covers.
GeoBox BoxOfTiles(const TileRange& range);

// The box of one imagery tile on the map.
GeoBox BoxOfTile(const ImageryTileId& tile);

// Elevation tiles holding the corners of the zoom-18 tiles the box touches, row by row.
std::vector<ElevationTileId> ElevationTilesOfBox(const GeoBox& box);

// Imagery tiles touched by the box, levels 18 down to 13, each level row by row.
std::vector<ImageryTileId> ImageryTilesOfBox(const GeoBox& box);
