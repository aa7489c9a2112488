#include "world/ImageryImport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include <gdal_priv.h>
#include <osgDB/ReaderWriter>
#include <osgDB/Registry>

#include "batch/CommandReport.h"
#include "geo/ReplayFiles.h"
#include "world/TileFiles.h"
#include "world/TileSources.h"

std::string EncodeJpeg(const osg::Image& image)
{
    osgDB::ReaderWriter* writer = osgDB::Registry::instance()->getReaderWriterForExtension("jpg");
    if (!writer || image.s() <= 0 || image.t() <= 0)
        return std::string();
    // The JPEG writer takes 8-bit RGB or grey only; getColor reads every other layout.
    osg::ref_ptr<osg::Image> rgb = new osg::Image;
    rgb->allocateImage(image.s(), image.t(), 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (int t = 0; t < image.t(); ++t)
        for (int s = 0; s < image.s(); ++s)
        {
            const osg::Vec4 colour = image.getColor(s, t);
            unsigned char* pixel = rgb->data(s, t);
            for (int k = 0; k < 3; ++k)
                pixel[k] = static_cast<unsigned char>(std::clamp(colour[k] * 255.0f + 0.5f, 0.0f, 255.0f));
        }
    osg::ref_ptr<osgDB::Options> options = new osgDB::Options("JPEG_QUALITY 90");
    std::ostringstream stream;
    if (!writer->writeImage(*rgb, stream, options.get()).success())
        return std::string();
    return stream.str();
}

int ImportImagery(const std::string& sourcePath, bool tms, const std::vector<ImageryTileId>& tiles, const std::string& folder)
{
    GDALAllRegister();
    SourceAddress address;
    address.location = sourcePath;
    address.tms = tms;
    std::string reason;
    const std::unique_ptr<TileSource> source = OpenTileSource(address, &reason);
    if (!source)
    {
        fprintf(stderr, "imagery: %s\n", reason.c_str());
        return 1;
    }
    return ImportImagery(*source, sourcePath, tiles, folder);
}

int ImportImagery(TileSource& source, const std::string& sourceName, const std::vector<ImageryTileId>& tiles, const std::string& folder)
{
    int written[FinestLevel + 1] = {};
    int absent[FinestLevel + 1] = {};
    GeoBox area = {90.0, 540.0, -90.0, -540.0}; // of the tiles written
    for (const ImageryTileId& tile : tiles)
    {
        // Asked to stop (a caller that catches the stop signals): between two tiles, each whole.
        if (StopSignal())
        {
            fprintf(stderr, "imagery: interrupted; the tiles not yet written left as they were\n");
            return 1;
        }
        // A tile numbered past the grid's ends (across 180 degrees) shows the one a turn round.
        const ImageryTileId onGrid = {tile.level, tile.row, WrapTileColumn(tile.column, tile.level)};
        std::string jpeg;
        if (!source.Fetch(onGrid, &jpeg))
        {
            ++absent[tile.level];
            continue;
        }
        const std::string name = ImageryFileName(tile);
        if (!EnsureDirectory((std::filesystem::path(folder) / ImageryFolder).lexically_normal().string()))
        {
            fprintf(stderr, "imagery: cannot make the folder './img'\n");
            return 1;
        }
        if (!WriteFileAtomically((std::filesystem::path(folder) / name).lexically_normal().string(), jpeg.data(), jpeg.size()))
        {
            fprintf(stderr, "imagery: cannot write '%s'\n", name.c_str());
            return 1;
        }
        ++written[tile.level];
        const GeoBox box = BoxOfTile(tile);
        area = GeoBox{std::min(area.south, box.south), std::min(area.west, box.west), std::max(area.north, box.north), std::max(area.east, box.east)};
    }
    int total = 0, totalAbsent = 0;
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        if (written[level] + absent[level] > 0)
            printf("level %d: %d tiles written, %d not in the source\n", level, written[level], absent[level]);
        total += written[level];
        totalAbsent += absent[level];
    }
    if (total == 0)
    {
        fprintf(stderr, "imagery: '%s' holds none of the requested tiles\n", sourceName.c_str());
        return 1;
    }
    fprintf(stderr, "imagery: %d of %zu tiles written, %d not in the source; area %.5f,%.5f,%.5f,%.5f (S,W,N,E)\n", total, tiles.size(), totalAbsent, area.south, area.west, area.north, area.east);
    return 0;
}
