#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "geo/ReplayFiles.h"

// Geographic boxes on the map-tile grids the program reads (geo/ReplayFiles.h): zoom-18 grid
// points for elevation, tiles of zoom levels 18 down to 13 for imagery. Latitudes and
// longitudes in degrees (WGS 84 taken as the sphere of the map frame, as web maps do).

// A geographic box, degrees; south < north, west < east. Longitudes run on past +-180 for a
// box across the 180th meridian, in the frame of the log it is for: the replay numbers the
// tiles there as their longitudes go on, below 0 west of 180 W and beyond the grid's last
// column east of 180 E (geo/MapProjection.h), and the box names the same tiles.
struct GeoBox
{
    double south;
    double west;
    double north;
    double east;
};

// Reads "S,W,N,E" in decimal degrees. False (box untouched) unless there are exactly four
// numbers, south < north within the map's latitudes (MapLatitudeLimit), west < east within
// +-540 and at most a turn apart.
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

// Tiles of the given level that the box touches, its rows clipped to the level's grid; its
// columns go past the grid's ends as far as the box goes past +-180.
TileRange TilesOfBox(const GeoBox& box, int32_t level);

// The column on the level's grid (0 .. 2^level - 1) of a column numbered past its ends: the
// same place a whole turn round.
int64_t WrapTileColumn(int64_t column, int32_t level);

// The box that a block of tiles of its level covers.
GeoBox BoxOfTiles(const TileRange& range);

// The box of one imagery tile on the map.
GeoBox BoxOfTile(const ImageryTileId& tile);

// Elevation tiles holding the corners of the zoom-18 tiles the box touches, row by row, each
// once; their columns are on the grid, since the store reads a point past its ends from there.
std::vector<ElevationTileId> ElevationTilesOfBox(const GeoBox& box);

// Imagery tiles touched by the box, levels 18 down to 13, each level row by row, numbered
// as the replay names them (columns past the grid's ends across 180 degrees).
std::vector<ImageryTileId> ImageryTilesOfBox(const GeoBox& box);
