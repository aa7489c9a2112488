#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Names of the terrain data files, relative to the working directory. The terrain builders
// read them and the data tool writes them, so both take the names from here.

// Elevation tile file of tile row and column (each 1024 zoom-18 grid cells).
inline std::string ElevationTileFileName(int32_t tileRow, int32_t tileColumn)
{
    char name[64];
    snprintf(name, sizeof name, "zsi-%ld-%ld.egm", static_cast<long>(tileRow), static_cast<long>(tileColumn));
    return name;
}

// Imagery tile of a zoom level (13 .. 18, lettered 'a' + level: n .. s), named by its row
// (counted from the north) before its column.
inline std::string ImageryFileName(int32_t level, int64_t row, int64_t column)
{
    char name[64];
    snprintf(name, sizeof name, "./img/%c-%ld-%ld.jpg", static_cast<char>('a' + level), static_cast<long>(row), static_cast<long>(column));
    return name;
}

// Texture of every patch whose imagery cannot be read.
const char* const GrassTextureFile = "./res/grass_1.jpg";
