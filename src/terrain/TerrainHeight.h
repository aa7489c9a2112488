#pragma once
#include <cstdint>

// The height of the ground the replay draws, between the grid points as well as on them.
// The finest level draws each zoom-18 cell as four triangles that meet at its centre, whose
// height is the mean of the four corners; this gives the height of that surface: exact on
// grid points, linear along a cell's edges and towards its centre. (The coarser levels
// around it simplify the same heights; the flight normally lies within the finest.)

struct TerrainHeight
{
    double metres = 0.0;  // above sea level; 0 where no tile covers the point
    bool covered = false; // all four corners of the cell lie in tiles that could be loaded
};

// Whether a lookup reports a missing elevation tile on stdout, as the replay's terrain does,
// or keeps quiet, as the player's paged terrain does (ElevationTileStore.h).
enum class TileReports
{
    Loud,
    Quiet,
};

// At a fractional zoom-18 grid point: row from the north edge, column from 180 degrees west.
TerrainHeight TerrainHeightAtGrid(double row, double column, TileReports reports = TileReports::Loud);

// At a latitude and longitude in degrees.
TerrainHeight TerrainHeightAt(double latitude, double longitude);
