#pragma once
#include <cstdint>

const int32_t ElevationTileSize = 1024;   // grid cells per tile side
const int32_t ElevationTileSamples = 1025; // samples per tile side (the far edge repeats the neighbour's)
const int32_t ElevationTilesPerAxis = 256; // TileScale / ElevationTileSize

// Height in metres at zoom-18 grid point (row, column). The tile file "zsi-%ld-%ld.egm" is
// read on first use and kept; a tile that cannot be loaded reads as 0 and is reported once.
// Points outside 0 .. 262143 on either axis lie in no tile and read as 0, silently.
int32_t ElevationLookup(int32_t row, int32_t column);

// Drops every loaded tile and missing-tile flag, so tests can start from an empty store.
void ResetElevationStore();
