#include "DemImport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "TileFiles.h"
#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"

ElevationSource::~ElevationSource()
{
    if (toSource)
        OGRCoordinateTransformation::DestroyCT(toSource);
    if (dataset)
        GDALClose(dataset);
}

std::unique_ptr<ElevationSource> ElevationSource::Open(const std::string& path)
{
    GDALAllRegister();
    std::unique_ptr<ElevationSource> source(new ElevationSource);
    source->dataset = static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!source->dataset || source->dataset->GetRasterCount() < 1)
    {
        fprintf(stderr, "dem: cannot read '%s' as an elevation raster: %s\n", path.c_str(), CPLGetLastErrorMsg());
        return nullptr;
    }
    double geoTransform[6];
    if (source->dataset->GetGeoTransform(geoTransform) != CE_None || !GDALInvGeoTransform(geoTransform, source->inverseTransform))
    {
        fprintf(stderr, "dem: '%s' has no georeferencing\n", path.c_str());
        return nullptr;
    }
    source->width = source->dataset->GetRasterXSize();
    source->height = source->dataset->GetRasterYSize();

    OGRSpatialReference geographic;
    geographic.SetWellKnownGeogCS("WGS84");
    geographic.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const OGRSpatialReference* reference = source->dataset->GetSpatialRef();
    if (reference && !reference->IsEmpty() && !reference->IsGeographic())
    {
        OGRSpatialReference target(*reference);
        target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        source->toSource = OGRCreateCoordinateTransformation(&geographic, &target);
        if (!source->toSource)
        {
            fprintf(stderr, "dem: cannot convert degrees into the coordinates of '%s'\n", path.c_str());
            return nullptr;
        }
    }
    // A geographic raster on another datum is within metres of WGS 84: far below a grid cell.

    GDALRasterBand* band = source->dataset->GetRasterBand(1);
    int flag = 0;
    source->noData = band->GetNoDataValue(&flag);
    source->hasNoData = flag != 0;
    source->scale = band->GetScale(&flag);
    if (!flag)
        source->scale = 1.0;
    source->offset = band->GetOffset(&flag);
    if (!flag)
        source->offset = 0.0;
    return source;
}

bool ElevationSource::Intersects(const GeoBox& box) const
{
    // The box's outline, densely, in source pixels: enough for any map projection we meet.
    const int steps = 64;
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (int side = 0; side < 4; ++side)
        for (int i = 0; i <= steps; ++i)
        {
            const double f = static_cast<double>(i) / steps;
            double x = side < 2 ? box.west + f * (box.east - box.west) : (side == 2 ? box.west : box.east);
            double y = side < 2 ? (side == 0 ? box.south : box.north) : box.south + f * (box.north - box.south);
            if (toSource && !toSource->Transform(1, &x, &y))
                continue;
            const double px = inverseTransform[0] + x * inverseTransform[1] + y * inverseTransform[2];
            const double py = inverseTransform[3] + x * inverseTransform[4] + y * inverseTransform[5];
            minX = std::min(minX, px);
            maxX = std::max(maxX, px);
            minY = std::min(minY, py);
            maxY = std::max(maxY, py);
        }
    return minX < width && maxX > 0 && minY < height && maxY > 0;
}

void ElevationSource::Sample(const std::vector<double>& latitudes, const std::vector<double>& longitudes, std::vector<double>* heights, std::vector<uint8_t>* filled) const
{
    const size_t count = latitudes.size();
    std::vector<double> xs(longitudes), ys(latitudes);
    std::vector<int> transformed(count, TRUE);
    if (toSource)
        toSource->Transform(static_cast<int>(count), xs.data(), ys.data(), nullptr, transformed.data());

    // Pixel positions, and the window of the raster that holds them all.
    int firstColumn = width, lastColumn = -1, firstRow = height, lastRow = -1;
    for (size_t i = 0; i < count; ++i)
    {
        const double x = xs[i], y = ys[i];
        xs[i] = inverseTransform[0] + x * inverseTransform[1] + y * inverseTransform[2];
        ys[i] = inverseTransform[3] + x * inverseTransform[4] + y * inverseTransform[5];
        if ((*filled)[i] || !transformed[i] || !(xs[i] >= 0.0 && xs[i] <= width && ys[i] >= 0.0 && ys[i] <= height))
        {
            transformed[i] = FALSE;
            continue;
        }
        // Pixel values belong to pixel centres: the neighbours of x are floor(x - 0.5) and one more.
        const int column = std::clamp(static_cast<int>(std::floor(xs[i] - 0.5)), 0, width - 1);
        const int row = std::clamp(static_cast<int>(std::floor(ys[i] - 0.5)), 0, height - 1);
        firstColumn = std::min(firstColumn, column);
        lastColumn = std::max(lastColumn, std::min(column + 1, width - 1));
        firstRow = std::min(firstRow, row);
        lastRow = std::max(lastRow, std::min(row + 1, height - 1));
    }
    if (lastColumn < firstColumn || lastRow < firstRow)
        return;

    const int windowWidth = lastColumn - firstColumn + 1;
    const int windowHeight = lastRow - firstRow + 1;
    std::vector<float> window(static_cast<size_t>(windowWidth) * windowHeight);
    GDALRasterBand* band = dataset->GetRasterBand(1);
    if (band->RasterIO(GF_Read, firstColumn, firstRow, windowWidth, windowHeight, window.data(), windowWidth, windowHeight, GDT_Float32, 0, 0) != CE_None)
    {
        fprintf(stderr, "dem: read error in '%s'\n", dataset->GetDescription());
        return;
    }
    const float noDataValue = static_cast<float>(noData);
    auto valid = [&](float v) { return std::isfinite(v) && !(hasNoData && v == noDataValue); };

    for (size_t i = 0; i < count; ++i)
    {
        if (!transformed[i])
            continue;
        const double u = std::clamp(xs[i] - 0.5, 0.0, width - 1.0);
        const double v = std::clamp(ys[i] - 0.5, 0.0, height - 1.0);
        const int c0 = static_cast<int>(u), r0 = static_cast<int>(v);
        const int c1 = std::min(c0 + 1, width - 1), r1 = std::min(r0 + 1, height - 1);
        const double fu = u - c0, fv = v - r0;
        const int cs[4] = {c0, c1, c0, c1};
        const int rs[4] = {r0, r0, r1, r1};
        const double ws[4] = {(1 - fu) * (1 - fv), fu * (1 - fv), (1 - fu) * fv, fu * fv};
        double sum = 0.0, weight = 0.0;
        for (int n = 0; n < 4; ++n)
        {
            const float value = window[static_cast<size_t>(rs[n] - firstRow) * windowWidth + (cs[n] - firstColumn)];
            if (ws[n] > 0.0 && valid(value))
            {
                sum += ws[n] * value;
                weight += ws[n];
            }
        }
        // A point right on a valid pixel centre has weight 1 there; one surrounded by
        // no-data pixels has none.
        if (weight > 0.0)
        {
            (*heights)[i] = sum / weight * scale + offset;
            (*filled)[i] = 1;
        }
    }
}

std::vector<int16_t> SampleElevationTile(const std::vector<std::unique_ptr<ElevationSource>>& sources, ElevationTileId tile, int64_t* missing)
{
    const size_t side = ElevationTileSamples;
    std::vector<double> latitudes(side * side), longitudes(side * side);
    for (size_t r = 0; r < side; ++r)
    {
        const double latitude = GridRowLatitude(static_cast<double>(tile.tileRow) * ElevationTileSize + r);
        for (size_t c = 0; c < side; ++c)
        {
            latitudes[r * side + c] = latitude;
            longitudes[r * side + c] = GridColumnLongitude(static_cast<double>(tile.tileColumn) * ElevationTileSize + c);
        }
    }
    std::vector<double> heights(side * side, 0.0);
    std::vector<uint8_t> filled(side * side, 0);
    for (const auto& source : sources)
        source->Sample(latitudes, longitudes, &heights, &filled);

    std::vector<int16_t> samples(side * side, 0);
    *missing = 0;
    for (size_t i = 0; i < samples.size(); ++i)
    {
        if (!filled[i])
        {
            ++*missing;
            continue;
        }
        const double metres = std::clamp(std::round(heights[i]), -32768.0, 32767.0);
        samples[i] = static_cast<int16_t>(metres);
    }
    return samples;
}

// The tile's samples in the file's byte order, little-endian whatever the machine.
static std::vector<unsigned char> EncodeTile(const std::vector<int16_t>& samples)
{
    std::vector<unsigned char> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i)
    {
        const uint16_t value = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<unsigned char>(value & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(value >> 8);
    }
    return bytes;
}

static GeoBox BoxOfElevationTile(ElevationTileId tile)
{
    const double top = static_cast<double>(tile.tileRow) * ElevationTileSize;
    const double left = static_cast<double>(tile.tileColumn) * ElevationTileSize;
    return GeoBox{GridRowLatitude(top + ElevationTileSize), GridColumnLongitude(left), GridRowLatitude(top), GridColumnLongitude(left + ElevationTileSize)};
}

int ImportElevation(const std::vector<std::string>& sourcePaths, const std::vector<ElevationTileId>& tiles)
{
    std::vector<std::unique_ptr<ElevationSource>> sources;
    for (const std::string& path : sourcePaths)
    {
        std::unique_ptr<ElevationSource> source = ElevationSource::Open(path);
        if (!source)
            return 1;
        sources.push_back(std::move(source));
    }

    // Which tiles any source reaches; with none, nothing is written at all.
    std::vector<ElevationTileId> covered;
    for (ElevationTileId tile : tiles)
    {
        const GeoBox box = BoxOfElevationTile(tile);
        if (std::any_of(sources.begin(), sources.end(), [&](const auto& source) { return source->Intersects(box); }))
            covered.push_back(tile);
        else
            printf("%s: no source covers it, not written\n", ElevationTileFileName(tile.tileRow, tile.tileColumn).c_str());
    }
    if (covered.empty())
    {
        fprintf(stderr, "dem: the sources do not cover the requested area\n");
        return 1;
    }

    for (ElevationTileId tile : covered)
    {
        const std::string name = ElevationTileFileName(tile.tileRow, tile.tileColumn);
        int64_t missing = 0;
        const std::vector<unsigned char> bytes = EncodeTile(SampleElevationTile(sources, tile, &missing));
        if (!WriteFileAtomically(name, bytes.data(), bytes.size()))
        {
            fprintf(stderr, "dem: cannot write '%s'\n", name.c_str());
            return 1;
        }
        if (missing > 0)
            printf("%s: written, %lld of %d points without data set to 0\n", name.c_str(), static_cast<long long>(missing), ElevationTileSamples * ElevationTileSamples);
        else
            printf("%s: written\n", name.c_str());
    }
    return 0;
}
