#pragma once
#include <cstdint>

#include "geo/ReplayFiles.h"

// Height in metres at zoom-18 grid point (row, column). The tile file "zsi-%ld-%ld.egm" is
// read on first use and kept; a tile that cannot be loaded reads as 0 and is reported once.
// Points outside 0 .. 262143 on either axis lie in no tile and read as 0, silently.
int32_t ElevationLookup(int32_t row, int32_t column);

// ElevationLookup that also tells whether a tile holds the point: false, with height 0,
// where the point lies off the grid or its tile cannot be loaded.
bool ElevationAt(int32_t row, int32_t column, int32_t* height);

// ElevationAt that reports nothing, for the terrain built in the background: a tile that
// cannot be loaded is tried again at the next lookup. Safe on any thread, like the others.
bool ElevationAtQuietly(int32_t row, int32_t column, int32_t* height);

// How many tiles have been reported missing ("Not open egm", once each) so far.
int32_t MissingElevationTiles();

// Drops every loaded tile and missing-tile flag, so tests can start from an empty store.
void ResetElevationStore();
