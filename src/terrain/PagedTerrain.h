#pragma once
#include <cstdint>
#include <vector>

#include <osg/Group>
#include <osg/ref_ptr>

#include "geo/MapProjection.h"
#include "terrain/FlightCorridor.h"

// The player's terrain: the ground under the whole of a flight, however long, drawn finer
// near the camera and coarser away from it. It is a quadtree of tiles on the imagery grid:
// levels 18 to 13 drape their own imagery files, as the rings do; the coarser levels above
// them, which a long flight's overview needs, drape a mosaic of the level-13 images they hold.
// A tile is replaced by its four children when the camera comes within TileRefineDistance of
// its sides from its centre; a child set is built on the scene graph's loading threads (the
// database pager) when first needed and released again when out of use, so no frame waits
// for a tile and memory stays bounded whatever the flight's length.
//
// Heights are those of the elevation tiles, read without reports (a missing tile is flat at
// 0 m). A tile without an image of its own shows the finer images under it, else the part of
// the nearest coarser one over it, else grass: where a picture is missing, the best one known. The tiles lie flat in the map frame, as the
// flight does: the far ground (the player's backdrop) takes the horizon.

// Level of the roots, the coarsest tiles: about 30 km across at middle latitudes.
const int32_t PagedRootLevel = 10;

// Distance from a tile's centre, in its own sides, within which its children are drawn
// instead: the density of the rings, whose level L+1 square reaches 1.75 level-L tiles out.
const double TileRefineDistance = 1.75;

// The terrain laid in `frame` for a flight over the zoom-18 tiles `flight` (GridTilesUnder), its
// rings around the frame's centre: one root tile for each PagedRootLevel tile that holds a
// corridor tile of level 13 (FlightCorridor.h), each loaded in the background once the
// viewer draws. Over several flights, along each one's corridor only.
class PagedTerrain : public osg::Group
{
public:
    PagedTerrain(const MapFrameValues& frame, const std::vector<GridTile>& flight);
    PagedTerrain(const MapFrameValues& frame, const std::vector<FlightTiles>& flights);

    // The lowest height of the ground the roots lie over, frame units (sampled coarsely):
    // where the player's far ground lies.
    double LowestHeight() const { return lowestHeight; }

private:
    double lowestHeight = 0.0;
};

// The node a terrain tile file name stands for (what the database pager asks for), built
// at once on the calling thread: for tests and benchmarks, which build without a pager.
// Null for a name that is not a terrain tile's.
osg::ref_ptr<osg::Node> BuildTerrainTile(const std::string& fileName, const MapFrameValues& frame);
