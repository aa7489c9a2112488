#pragma once
#include <string>
#include <vector>

#include <osg/Image>
#include <osg/ref_ptr>

#include "geo/GeoTiles.h"

// Where imagery comes from.
enum class ImagerySourceKind
{
    TileFolder, // z/x/y.jpg, .jpeg or .png; rows from the north, or from the south with --tms
    MBTiles,    // an MBTiles file: tiles table, rows counted from the south
    Raster,     // any georeferenced image GDAL reads, warped to Web Mercator tiles
};

// The kind a path names: a directory is a tile folder, a file ending in .mbtiles an MBTiles
// file, anything else a raster.
ImagerySourceKind ClassifyImagerySource(const std::string& path);

// The image as a JPEG file's bytes (RGB; alpha is dropped, as the terrain draws no alpha).
// Empty when the JPEG writer plug-in is missing or fails.
std::string EncodeJpeg(const osg::Image& image);

// The imagery command: writes "./img/..." for every tile the source holds, creating ./img.
// JPEG tiles are copied byte for byte, PNG tiles re-encoded. Returns the exit status:
// 0 when at least one tile was written, 1 when the source cannot be read, holds none of the
// tiles, or a file cannot be written.
int ImportImagery(const std::string& sourcePath, bool tms, const std::vector<ImageryTileId>& tiles);
