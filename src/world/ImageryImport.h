#pragma once
#include <string>
#include <vector>

#include <osg/Image>
#include <osg/ref_ptr>

#include "geo/GeoTiles.h"

class TileSource;

// The image as a JPEG file's bytes (RGB; alpha is dropped, as the terrain draws no alpha).
// Empty when the JPEG writer plug-in is missing or fails.
std::string EncodeJpeg(const osg::Image& image);

// The imagery command: writes "FOLDER/img/..." for every tile the source at the path (a tile
// folder, an MBTiles file or a raster: TileSources.h) holds, creating the img folder. JPEG
// tiles are copied byte for byte, PNG tiles re-encoded. Returns the exit status: 0 when at
// least one tile was written, 1 when the source cannot be read, holds none of the tiles, or
// a file cannot be written.
int ImportImagery(const std::string& sourcePath, bool tms, const std::vector<ImageryTileId>& tiles, const std::string& folder = ".");
// The same from a source opened already, named in the lines by `sourceName`.
int ImportImagery(TileSource& source, const std::string& sourceName, const std::vector<ImageryTileId>& tiles, const std::string& folder);
