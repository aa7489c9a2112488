#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <osg/Image>
#include <osg/ref_ptr>

#include "geo/ReplayFiles.h"

class Landscape;

// The tile's picture of the landscape, 256 x 256 RGB. Each pixel is the land cover
// averaged over the pixel's own footprint, then shaded by the terrain; so a pixel is the
// mean of the ground it covers at every level, and a coarser tile shows what the finer
// ones average to. Image row 0 is the south edge, as
// osgDB delivers images (t = 0), so texture coordinate v = 1 lies on the north edge.
osg::ref_ptr<osg::Image> RenderImageryTile(const Landscape& landscape, const ImageryTileId& tile);

using ImageryPainter = osg::ref_ptr<osg::Image> (*)(const Landscape& landscape, const ImageryTileId& tile);

// Renders the tiles with `paint` on `threads` threads and writes them as JPEG files below
// `folder` (which must hold an "img" folder). Returns false and prints the file name when
// one cannot be written.
bool WriteImageryTiles(const Landscape& landscape, const std::vector<ImageryTileId>& tiles, const std::string& folder,
                       int threads, ImageryPainter paint = RenderImageryTile);
