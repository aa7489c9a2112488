#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geo/GeoTiles.h"
#include "world/TileCoverage.h"

class GDALDataset;
class OGRCoordinateTransformation;

// Pixels around a void that its filling looks at: GDAL's own default search distance. At
// SRTM's 3 arc-seconds that is 6 to 9 km, wider than all but the largest voids of mountains.
const int VoidFillPixels = 100;

// What the sources give the points of one tile, point by point.
struct SampledPoints
{
    std::vector<double> heights;           // metres, where the quality is not None
    std::vector<HeightQuality> qualities;  // None where no source had data
    std::vector<uint8_t> inside;           // 1 where the point lies within some raster's extent
};

// One elevation raster that GDAL reads (SRTM .hgt, GeoTIFF, ...): band 1, heights in
// metres after the band's scale and offset, any georeferencing GDAL knows (a raster
// without a coordinate system is taken as longitude and latitude).
class ElevationSource
{
public:
    ~ElevationSource();

    // Null, after one line on stderr, when the file cannot be read as a georeferenced raster.
    static std::unique_ptr<ElevationSource> Open(const std::string& path);

    // Heights at (latitude, longitude) in degrees, bilinear between pixel centres; a raster in
    // degrees is read a turn east or west where it has the point only there. A point
    // gets this raster's height when that is better than the one it has: Measured where
    // valid pixels surround it (a no-data pixel drops out of the weights), else Filled where
    // the raster's voids, filled from the valid pixels up to VoidFillPixels away, surround
    // it. So a first source keeps its points against later ones of the same quality, but a
    // later source's measurement replaces an earlier one's fill. False, with GDAL's reason,
    // when the raster cannot be read; the points are then of no use.
    bool Sample(const std::vector<double>& latitudes, const std::vector<double>& longitudes, SampledPoints* points, std::string* error) const;

    // Whether the raster's extent meets the box, or in degrees the box a turn east or west.
    bool Intersects(const GeoBox& box) const;

    const std::string& Path() const { return path; }

private:
    ElevationSource() = default;
    bool IntersectsOutline(const GeoBox& box) const;

    std::string path;
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

// One elevation tile as sampled from the sources: 1025 x 1025 heights in metres, rows north
// to south. Sample (r, c) is the height at zoom-18 grid point (tileRow * 1024 + r,
// tileColumn * 1024 + c), rounded to the nearest metre and clamped to int16; points
// without data are 0 with quality None.
struct SampledTile
{
    CoveredTile tile;
    std::vector<uint8_t> inside; // 1 where some raster's extent holds the point
};

// Samples the tile from the sources in order (see ElevationSource::Sample). False, with the
// source's path and GDAL's reason, when a source cannot be read.
bool SampleElevationTile(const std::vector<std::unique_ptr<ElevationSource>>& sources, ElevationTileId tile, SampledTile* sampled, std::string* error);

// How a merge of sampled data into an existing tile went, in points.
struct MergeCounts
{
    int64_t read = 0;       // measured by a source
    int64_t voidFilled = 0; // filled across a void of a source
    int64_t kept = 0;       // the existing tile's height, at least as good as the sources'
    int64_t voids = 0;      // in a source's void too wide to fill, and nothing there before
    int64_t outside = 0;    // beyond every source, and nothing there before
};

// Merges the sampled tile into the existing one, point by point: the sources' height
// replaces the existing one when its quality is higher, or equal and not None (a new import
// of equal data wins); otherwise the existing height and quality stay. So no point's
// quality ever drops, and the count of valid points never falls.
MergeCounts MergeIntoTile(const SampledTile& sampled, CoveredTile* existing);

// The box in degrees an elevation tile's grid points span.
GeoBox BoxOfElevationTile(ElevationTileId tile);

// The dem command: merges each tile the sources cover into its file (and coverage file) in
// `folder`. Returns the exit status: 0 done, 1 a source unreadable or failing
// to read, no source meeting the area, an unreadable existing tile or a write failure.
int ImportElevation(const std::vector<std::string>& sourcePaths, const std::vector<ElevationTileId>& tiles, const std::string& folder = ".");
