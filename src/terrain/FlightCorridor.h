#pragma once
#include <cstdint>
#include <vector>

#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "log/SampleRow.h"

// The tiles along a whole flight. The replay's rings cover one square around the map frame's
// centre, which a long flight leaves; the player's terrain follows the camera instead, and
// near any point the flight passes it draws each level's tiles out to a few of that level's
// tiles away. The corridor is what it may need there: at every level, a square of
// (2 * CorridorReach + 1)^2 of the level's tiles around the tile under each flight position,
// joined with the rings around the map frame, so the replay's own files are always in it.
// The data tool plans, imports and fetches it; the demo generator makes it for long worlds.

// Tiles of its level on each side of the tile under a flight position: one more than the
// rings reach, for the camera that looks out from the aircraft.
const int32_t CorridorReach = 4;

// A zoom-18 tile: row from the north, column east from 180 degrees west. Columns past the
// grid's ends stand for the tiles a whole turn round, as in the rings.
struct GridTile
{
    int64_t row;
    int64_t column;
};

// The tile `levels` levels coarser that holds a tile (row or column), rounding down for
// negative numbers too (columns past the grid's west end).
int64_t CoarserTile(int64_t tile, int32_t levels);

// The zoom-18 tiles under positions in degrees, each once, in the order first met.
std::vector<GridTile> GridTilesUnder(const std::vector<double>& latitudes, const std::vector<double>& longitudes);
// The zoom-18 tiles under the rows of flights: what the paged terrain and the data tool's
// corridor are laid along.
std::vector<GridTile> TilesUnderFlights(const std::vector<FlightRows>& flights);

// The corridor's imagery tiles, levels FinestLevel to CoarsestLevel: first the rings' tiles
// around (CI, CJ) in the order the replay reads them, then the others level by level, each
// once, rows within the map (columns as the rings name them, past the grid's ends where the
// flight crosses 180 degrees).
std::vector<ImageryTileId> CorridorImageryTiles(int32_t CI, int32_t CJ, const std::vector<GridTile>& flight);

// One of several flights shown together, as its corridor is laid: the zoom-18 tiles under it,
// and the centre tile (CI, CJ) of the map frame the replay fixes on it alone, around which
// the data tool plans its rings.
struct FlightTiles
{
    int32_t CI = 0;
    int32_t CJ = 0;
    std::vector<GridTile> under;
};

// The corridors of several flights, each laid around its own rings, joined, each tile once:
// what the data tool plans, imports and fetches for them. Never the rings around the centre
// of a frame fixed on all of them, where no flight need be.
std::vector<ImageryTileId> CorridorImageryTiles(const std::vector<FlightTiles>& flights);
// A flight's own: the tiles under its rows, around the centre of `frame`, the frame fixed on it.
FlightTiles TilesOfFlight(const FlightRows& flight, const MapFrameValues& frame);
// The elevation tiles under those (computed once by the caller), each flight's rings' own first.
std::vector<ElevationTileId> CorridorElevationTiles(const std::vector<FlightTiles>& flights, const std::vector<ImageryTileId>& corridorImagery);

// The elevation tiles that the corridor's imagery tiles (CorridorImageryTiles, computed once
// by the caller) lie on, their edges included, each once, on the grid (columns wrapped):
// first the rings' own (RingElevationTiles), then the rest.
std::vector<ElevationTileId> CorridorElevationTiles(int32_t CI, int32_t CJ, const std::vector<ImageryTileId>& corridorImagery);
