#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// The files the replay reads, all relative to the working directory, and the tile grids they
// are laid out on. The terrain and scene builders read them; the demo-world generator, the
// data tool and the benchmarks write them; so every one of them takes the names from here.

// Zoom levels of the imagery the terrain rings drape, from the finest (around the flight)
// to the coarsest (the horizon). Level 18 is the grid of the map frame.
const int32_t FinestLevel = 18;
const int32_t CoarsestLevel = 13;

// Elevation tiles: each covers 1024 x 1024 cells of the zoom-18 grid and holds 1025 x 1025
// little-endian int16 heights in metres, row by row from the north; the last row and column
// repeat the first ones of the neighbours to the south and east.
const int32_t ElevationTileSize = 1024;    // grid cells per tile side
const int32_t ElevationTileSamples = 1025; // samples per tile side
const int32_t ElevationTilesPerAxis = 256; // 2^18 grid cells / ElevationTileSize
const size_t ElevationTileBytes = 2 * static_cast<size_t>(ElevationTileSamples) * ElevationTileSamples;

// Pixels per side of the imagery tiles this project writes, like ordinary web-map tiles. The
// terrain itself takes images of any size.
const int32_t ImageryTilePixels = 256;

// One elevation tile file, numbered grid row / 1024 and grid column / 1024.
struct ElevationTileId
{
    int32_t tileRow;
    int32_t tileColumn;
};

// One imagery tile: zoom level (CoarsestLevel .. FinestLevel), tile row at that level
// counted from the north, tile column counted east from 180 degrees west. 64-bit, since a
// map frame at the edge of the grid puts the rings' outer tiles beyond int32.
struct ImageryTileId
{
    int32_t level;
    int64_t row;
    int64_t column;
};

// "zsi-ROW-COL.egm".
inline std::string ElevationTileFileName(int32_t tileRow, int32_t tileColumn)
{
    char name[64];
    snprintf(name, sizeof name, "zsi-%ld-%ld.egm", static_cast<long>(tileRow), static_cast<long>(tileColumn));
    return name;
}

// "./img/L-ROW-COL.jpg", lettered 'a' + level: n (13) .. s (18).
inline std::string ImageryFileName(int32_t level, int64_t row, int64_t column)
{
    char name[64];
    snprintf(name, sizeof name, "./img/%c-%ld-%ld.jpg", static_cast<char>('a' + level), static_cast<long>(row), static_cast<long>(column));
    return name;
}

inline std::string ImageryFileName(const ImageryTileId& tile)
{
    return ImageryFileName(tile.level, tile.row, tile.column);
}

// The folder of the imagery tiles.
const char* const ImageryFolder = "img";
// Texture of every terrain patch whose imagery cannot be read.
const char* const GrassTextureFile = "./res/grass_1.jpg";
// The sky backdrop.
const char* const SkyTextureFile = "sky12q-1024x512.jpeg";
// The aircraft model (AC3D), and the texture of the simple aircraft drawn without it.
const char* const AircraftModelFile = "./EasyStar/data/body.ac";
const char* const AircraftTextureFile = "./res/tamor1.jpg";
// The credits the sources of a world's fetched elevation and imagery ask for wherever their
// data are shown, one line per source: written by the data tool beside the tiles, shown by
// the player and in its videos (the replay does not read it).
const char* const AttributionFile = "ATTRIBUTION.txt";
