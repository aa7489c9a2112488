#include "worldgen/ImageryTiles.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

#include <osgDB/Options>
#include <osgDB/WriteFile>

#include "geo/MapProjection.h"
#include "worldgen/Landscape.h"
#include "worldgen/WorldSite.h"

static unsigned char ToByte(double value)
{
    return static_cast<unsigned char>(std::clamp(std::lround(value * 255.0), 0L, 255L));
}

osg::ref_ptr<osg::Image> RenderImageryTile(const Landscape& landscape, const ImageryTileId& tile)
{
    const int32_t samples = ImageryTilePixels; // one filtered sample per pixel
    const double tileSize = static_cast<double>(1 << (FinestLevel - tile.level)); // zoom-18 tiles per tile side

    // Rows of the grid depend on latitude only, columns on longitude only: the sample
    // positions of the whole tile come from two short tables.
    std::vector<double> north(samples);
    std::vector<double> east(samples);
    for (int32_t k = 0; k < samples; ++k)
    {
        const double fraction = (k + 0.5) / samples;
        north[k] = NorthOfLatitude(GridRowLatitude((tile.row + fraction) * tileSize));
        east[k] = EastOfLongitude(GridColumnLongitude((tile.column + fraction) * tileSize));
    }
    const double centreLatitude = GridRowLatitude((tile.row + 0.5) * tileSize);
    const double footprint = MetresPerTile(centreLatitude) * tileSize / samples;

    // Terrain shading is smooth; a 65 x 65 lattice over the tile, interpolated, is plenty.
    const int32_t lattice = 65;
    std::vector<double> shade(lattice * lattice);
    for (int32_t a = 0; a < lattice; ++a)
    {
        const double n = NorthOfLatitude(GridRowLatitude((tile.row + a / (lattice - 1.0)) * tileSize));
        for (int32_t b = 0; b < lattice; ++b)
        {
            const double e = EastOfLongitude(GridColumnLongitude((tile.column + b / (lattice - 1.0)) * tileSize));
            shade[a * lattice + b] = landscape.Shade(e, n);
        }
    }
    auto shadeAt = [&](int32_t row, int32_t column) {
        const double x = (row + 0.5) / samples * (lattice - 1);
        const double y = (column + 0.5) / samples * (lattice - 1);
        const int32_t a = std::min(static_cast<int32_t>(x), lattice - 2);
        const int32_t b = std::min(static_cast<int32_t>(y), lattice - 2);
        const double fx = x - a;
        const double fy = y - b;
        const double top = shade[a * lattice + b] * (1.0 - fy) + shade[a * lattice + b + 1] * fy;
        const double bottom = shade[(a + 1) * lattice + b] * (1.0 - fy) + shade[(a + 1) * lattice + b + 1] * fy;
        return top * (1.0 - fx) + bottom * fx;
    };

    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(ImageryTilePixels, ImageryTilePixels, 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (int32_t py = 0; py < ImageryTilePixels; ++py) // py = 0 is the north edge
    {
        unsigned char* pixel = image->data(0, ImageryTilePixels - 1 - py);
        for (int32_t px = 0; px < ImageryTilePixels; ++px)
        {
            const LandCover cover = landscape.Cover(east[px], north[py], footprint);
            const double light = 1.0 + (shadeAt(py, px) - 1.0) * cover.shading;
            pixel[0] = ToByte(cover.colour.r * light);
            pixel[1] = ToByte(cover.colour.g * light);
            pixel[2] = ToByte(cover.colour.b * light);
            pixel += 3;
        }
    }
    return image;
}

bool WriteImageryTiles(const Landscape& landscape, const std::vector<ImageryTileId>& tiles, const std::string& folder,
                       int threads, ImageryPainter paint)
{
    // Rendering runs in parallel; the writer plug-in is called by one thread at a time.
    osg::ref_ptr<osgDB::Options> options = new osgDB::Options("JPEG_QUALITY 88");
    std::mutex writing;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&]() {
        for (size_t index = next++; index < tiles.size() && !failed; index = next++)
        {
            osg::ref_ptr<osg::Image> image = paint(landscape, tiles[index]);
            const std::string path = folder + "/" + ImageryFileName(tiles[index]);
            std::lock_guard<std::mutex> lock(writing);
            if (!osgDB::writeImageFile(*image, path, options.get()))
            {
                printf("Cannot write '%s'\n", path.c_str());
                failed = true;
            }
        }
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < std::max(threads, 1); ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    return !failed;
}
