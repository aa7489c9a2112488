#pragma once
// Elevation tiles for tests and test worlds, in the replay's own layout and names. Plain
// C++ without the test framework, so that the test world maker can use it too.
#include <cstdint>
#include <functional>
#include <string>

// Height in metres of sample (r, c) of a tile, each 0 .. ElevationTileSamples - 1, rows
// from the north.
using TileHeights = std::function<int32_t(int32_t r, int32_t c)>;

// The bytes of a whole tile of these heights: little-endian int16, row by row.
std::string ElevationTileContent(const TileHeights& height);

// Writes the whole tile (tileRow, tileColumn) under its replay name in the working
// directory; false, with a line on stderr, when it cannot.
bool WriteElevationTile(int32_t tileRow, int32_t tileColumn, const TileHeights& height);
