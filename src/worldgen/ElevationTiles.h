#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "geo/ReplayFiles.h"

class Landscape;

// Height stored for a grid point: the landscape's height there, rounded to whole metres.
int16_t ElevationSample(const Landscape& landscape, int32_t row, int32_t column);

// Writes the tile's file into `folder`: 1025 x 1025 signed 16-bit little-endian heights in
// metres, rows north to south, columns west to east; row and column 1024 repeat the first
// row and column of the neighbours to the south and east. Returns false when it cannot.
bool WriteElevationFile(const Landscape& landscape, const ElevationTileId& tile, const std::string& folder);

// Writes the tiles' files on `threads` threads. Returns false when one cannot be written.
bool WriteElevationFiles(const Landscape& landscape, const std::vector<ElevationTileId>& tiles,
                         const std::string& folder, int threads);
