#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "GeoTiles.h"

class GDALDataset;
class OGRCoordinateTransformation;

// One elevation raster that GDAL reads (SRTM .hgt, GeoTIFF, ...): band 1, heights in
// metres after the band's scale and offset, any georeferencing GDAL knows (a raster
// without a coordinate system is taken as longitude and latitude).
class ElevationSource
{
public:
    ~ElevationSource();

    // Null, after one line on stderr, when the file cannot be read as a georeferenced raster.
    static std::unique_ptr<ElevationSource> Open(const std::string& path);

    // Bilinear height at each (latitude, longitude) in degrees whose `filled` flag is 0;
    // points the raster covers get their height and the flag 1, the rest stay untouched.
    // Pixel values are taken at pixel centres; a no-data pixel drops out of the weights.
    void Sample(const std::vector<double>& latitudes, const std::vector<double>& longitudes, std::vector<double>* heights, std::vector<uint8_t>* filled) const;

    // Whether the raster's extent meets the box.
    bool Intersects(const GeoBox& box) const;

private:
    ElevationSource() = default;

    GDALDataset* dataset = nullptr;
    OGRCoordinateTransformation* toSource = nullptr; // null when the raster is in degrees already
    double inverseTransform[6] = {};
    int width = 0;
    int height = 0;
    bool hasNoData = false;
    double noData = 0.0;
    double scale = 1.0;
    double offset = 0.0;
};

// Samples of one elevation tile file: 1025 x 1025 heights in metres, rows north to south.
// Sample (r, c) is the height at zoom-18 grid point (tileRow * 1024 + r, tileColumn * 1024 + c),
// from the first source that covers it, rounded to the nearest metre and clamped to int16;
// points without data are 0 and counted in `missing`.
std::vector<int16_t> SampleElevationTile(const std::vector<std::unique_ptr<ElevationSource>>& sources, ElevationTileId tile, int64_t* missing);

// The dem command: writes each tile's file into the working directory. Returns the exit
// status: 0 done, 1 a source unreadable, no source meeting the area, or a write failure.
int ImportElevation(const std::vector<std::string>& sourcePaths, const std::vector<ElevationTileId>& tiles);
