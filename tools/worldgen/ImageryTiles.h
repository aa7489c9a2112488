#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <osg/Image>
#include <osg/ref_ptr>

class Landscape;

// One imagery tile: zoom level 13 .. 18 and its tile row and column at that level.
struct ImageryTile
{
    int32_t level;
    int32_t row;
    int32_t column;
};

const int32_t ImageryTileSize = 256; // pixels per side, like ordinary web-map tiles

// The 249 tiles the nested terrain rings around zoom-18 tile (CI, CJ) drape, in the order
// the rings build them: level 18 down to 13, rows then columns.
std::vector<ImageryTile> RingImageryTiles(int32_t CI, int32_t CJ);

// "img/s-100-200.jpg": level letter 'a' + level, tile row, tile column.
std::string ImageryFileName(const ImageryTile& tile);

// The tile's picture of the landscape, 256 x 256 RGB. Each pixel is the land cover
// averaged over the pixel's own footprint, then shaded by the terrain; so a pixel is the
// mean of the ground it covers at every level, and a coarser tile shows what the finer
// ones average to. Image row 0 is the south edge, as
// osgDB delivers images (t = 0), so texture coordinate v = 1 lies on the north edge.
osg::ref_ptr<osg::Image> RenderImageryTile(const Landscape& landscape, const ImageryTile& tile);

// Renders the tiles on `threads` threads and writes them as JPEG files below `folder`
// (which must hold an "img" folder). Returns false and prints the file name when one
// cannot be written.
bool WriteImageryTiles(const Landscape& landscape, const std::vector<ImageryTile>& tiles, const std::string& folder,
                       int threads);
