#include "world/DemImport.h"

#include <algorithm>
#include <filesystem>
#include <cmath>
#include <cstdio>
#include <limits>

#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "batch/CommandReport.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "world/GdalReason.h"
#include "world/TileFiles.h"

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
    CPLErrorReset();
    std::unique_ptr<ElevationSource> source(new ElevationSource);
    source->path = path;
    source->dataset = static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!source->dataset || source->dataset->GetRasterCount() < 1)
    {
        fprintf(stderr, "dem: cannot read '%s' as an elevation raster: %s\n", path.c_str(), (source->dataset ? GdalReason("it holds no raster band") : GdalOpenFailure(path)).c_str());
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
            fprintf(stderr, "dem: cannot convert degrees into the coordinates of '%s': %s\n", path.c_str(), GdalReason("no transformation known").c_str());
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
    // A raster in degrees may count its longitudes from anywhere (see Sample).
    if (!toSource)
        for (const double turn : {360.0, -360.0})
            if (IntersectsOutline(GeoBox{box.south, box.west + turn, box.north, box.east + turn}))
                return true;
    return IntersectsOutline(box);
}

bool ElevationSource::IntersectsOutline(const GeoBox& box) const
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

// Fills the window's invalid pixels (NaN) from the valid ones around them with GDAL's
// inverse-distance fill, looking at most VoidFillPixels away; pixels it cannot reach stay
// NaN. False, with GDAL's reason, when GDAL fails.
static bool FillVoids(std::vector<float>* pixels, int width, int height, std::string* error)
{
    // A sentinel no raster of heights holds, marked as the band's no-data value: the mask
    // GDAL derives from it tells the fill which pixels to compute.
    const float sentinel = -3.0e38f;
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    std::unique_ptr<GDALDataset, void (*)(GDALDataset*)> work(memory ? memory->Create("", width, height, 1, GDT_Float32, nullptr) : nullptr, [](GDALDataset* d) { if (d) GDALClose(d); });
    if (!work)
    {
        *error = GdalReason("cannot make a raster in memory to fill its voids");
        return false;
    }
    for (float& value : *pixels)
        if (std::isnan(value))
            value = sentinel;
    GDALRasterBand* band = work->GetRasterBand(1);
    band->SetNoDataValue(sentinel);
    bool done = band->RasterIO(GF_Write, 0, 0, width, height, pixels->data(), width, height, GDT_Float32, 0, 0) == CE_None;
    done = done && GDALFillNodata(band, nullptr, VoidFillPixels, 0, 0, nullptr, nullptr, nullptr) == CE_None;
    done = done && band->RasterIO(GF_Read, 0, 0, width, height, pixels->data(), width, height, GDT_Float32, 0, 0) == CE_None;
    if (!done)
    {
        *error = GdalReason("filling its voids failed");
        return false;
    }
    for (float& value : *pixels)
        if (value == sentinel)
            value = std::numeric_limits<float>::quiet_NaN();
    return true;
}

// Bilinear value at pixel position (x, y) from the pixels that are not NaN; false when none
// of the four neighbours with a weight is.
static bool Bilinear(const std::vector<float>& window, int windowWidth, int firstColumn, int firstRow, int width, int height, double x, double y, double* value)
{
    // Pixel values belong to pixel centres: the neighbours of x are floor(x - 0.5) and one more.
    const double u = std::clamp(x - 0.5, 0.0, width - 1.0);
    const double v = std::clamp(y - 0.5, 0.0, height - 1.0);
    const int c0 = static_cast<int>(u), r0 = static_cast<int>(v);
    const int c1 = std::min(c0 + 1, width - 1), r1 = std::min(r0 + 1, height - 1);
    const double fu = u - c0, fv = v - r0;
    const int cs[4] = {c0, c1, c0, c1};
    const int rs[4] = {r0, r0, r1, r1};
    const double ws[4] = {(1 - fu) * (1 - fv), fu * (1 - fv), (1 - fu) * fv, fu * fv};
    double sum = 0.0, weight = 0.0;
    for (int n = 0; n < 4; ++n)
    {
        const float pixel = window[static_cast<size_t>(rs[n] - firstRow) * windowWidth + (cs[n] - firstColumn)];
        if (ws[n] > 0.0 && !std::isnan(pixel))
        {
            sum += ws[n] * pixel;
            weight += ws[n];
        }
    }
    // A point right on a valid pixel centre has weight 1 there; one surrounded by invalid
    // pixels has none.
    if (weight <= 0.0)
        return false;
    *value = sum / weight;
    return true;
}

bool ElevationSource::Sample(const std::vector<double>& latitudes, const std::vector<double>& longitudes, SampledPoints* points, std::string* error) const
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
        // A raster in degrees may count its longitudes from anywhere (0 to 360, or on past
        // 180 across the date line): the point is read where the raster has it.
        const double x = xs[i], y = ys[i];
        for (const double turn : {0.0, 360.0, -360.0})
        {
            xs[i] = inverseTransform[0] + (x + turn) * inverseTransform[1] + y * inverseTransform[2];
            ys[i] = inverseTransform[3] + (x + turn) * inverseTransform[4] + y * inverseTransform[5];
            if (toSource || (xs[i] >= 0.0 && xs[i] <= width && ys[i] >= 0.0 && ys[i] <= height))
                break;
        }
        if (!transformed[i] || !(xs[i] >= 0.0 && xs[i] <= width && ys[i] >= 0.0 && ys[i] <= height))
        {
            transformed[i] = FALSE;
            continue;
        }
        points->inside[i] = 1;
        if (points->qualities[i] == HeightQuality::Measured)
        {
            transformed[i] = FALSE; // an earlier source measured it
            continue;
        }
        const int column = std::clamp(static_cast<int>(std::floor(xs[i] - 0.5)), 0, width - 1);
        const int row = std::clamp(static_cast<int>(std::floor(ys[i] - 0.5)), 0, height - 1);
        firstColumn = std::min(firstColumn, column);
        lastColumn = std::max(lastColumn, std::min(column + 1, width - 1));
        firstRow = std::min(firstRow, row);
        lastRow = std::max(lastRow, std::min(row + 1, height - 1));
    }
    if (lastColumn < firstColumn || lastRow < firstRow)
        return true;

    // The window grows by the fill's reach, so a void near its edge is filled from the same
    // pixels as it would be in the whole raster.
    firstColumn = std::max(0, firstColumn - VoidFillPixels);
    firstRow = std::max(0, firstRow - VoidFillPixels);
    lastColumn = std::min(width - 1, lastColumn + VoidFillPixels);
    lastRow = std::min(height - 1, lastRow + VoidFillPixels);
    const int windowWidth = lastColumn - firstColumn + 1;
    const int windowHeight = lastRow - firstRow + 1;
    std::vector<float> window(static_cast<size_t>(windowWidth) * windowHeight);
    GDALRasterBand* band = dataset->GetRasterBand(1);
    // A truncated file can fail a block and still hand back zeros for it: any error GDAL
    // raised during the read fails it.
    CPLErrorReset();
    if (band->RasterIO(GF_Read, firstColumn, firstRow, windowWidth, windowHeight, window.data(), windowWidth, windowHeight, GDT_Float32, 0, 0) != CE_None || CPLGetLastErrorType() >= CE_Failure)
    {
        *error = "read error in '" + path + "': " + GdalReason("GDAL gave no reason");
        return false;
    }
    bool anyVoid = false;
    const float noDataValue = static_cast<float>(noData);
    for (float& value : window)
        if (!std::isfinite(value) || (hasNoData && value == noDataValue))
        {
            value = std::numeric_limits<float>::quiet_NaN();
            anyVoid = true;
        }
    std::vector<float> filled;
    if (anyVoid)
    {
        filled = window;
        if (!FillVoids(&filled, windowWidth, windowHeight, error))
        {
            *error = "cannot fill the voids of '" + path + "': " + *error;
            return false;
        }
    }

    for (size_t i = 0; i < count; ++i)
    {
        if (!transformed[i])
            continue;
        double value = 0.0;
        if (Bilinear(window, windowWidth, firstColumn, firstRow, width, height, xs[i], ys[i], &value))
        {
            points->heights[i] = value * scale + offset;
            points->qualities[i] = HeightQuality::Measured;
        }
        else if (anyVoid && points->qualities[i] == HeightQuality::None && Bilinear(filled, windowWidth, firstColumn, firstRow, width, height, xs[i], ys[i], &value))
        {
            points->heights[i] = value * scale + offset;
            points->qualities[i] = HeightQuality::Filled;
        }
    }
    return true;
}

bool SampleElevationTile(const std::vector<std::unique_ptr<ElevationSource>>& sources, ElevationTileId tile, SampledTile* sampled, std::string* error)
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
    SampledPoints points;
    points.heights.assign(side * side, 0.0);
    points.qualities.assign(side * side, HeightQuality::None);
    points.inside.assign(side * side, 0);
    for (const auto& source : sources)
        if (!source->Sample(latitudes, longitudes, &points, error))
            return false;

    sampled->tile.heights.assign(side * side, 0);
    sampled->tile.qualities = points.qualities;
    sampled->tile.origin = CoverageOrigin::NoTile;
    sampled->inside = points.inside;
    for (size_t i = 0; i < side * side; ++i)
        if (points.qualities[i] != HeightQuality::None)
            sampled->tile.heights[i] = static_cast<int16_t>(std::clamp(std::round(points.heights[i]), -32768.0, 32767.0));
    return true;
}

MergeCounts MergeIntoTile(const SampledTile& sampled, CoveredTile* existing)
{
    MergeCounts counts;
    for (size_t i = 0; i < sampled.tile.qualities.size(); ++i)
    {
        const HeightQuality fresh = sampled.tile.qualities[i];
        const HeightQuality old = existing->qualities[i];
        if (fresh > old || (fresh == old && fresh != HeightQuality::None))
        {
            existing->heights[i] = sampled.tile.heights[i];
            existing->qualities[i] = fresh;
            ++(fresh == HeightQuality::Measured ? counts.read : counts.voidFilled);
        }
        else if (old != HeightQuality::None)
            ++counts.kept;
        else
            ++(sampled.inside[i] ? counts.voids : counts.outside);
    }
    return counts;
}

GeoBox BoxOfElevationTile(ElevationTileId tile)
{
    const double top = static_cast<double>(tile.tileRow) * ElevationTileSize;
    const double left = static_cast<double>(tile.tileColumn) * ElevationTileSize;
    return GeoBox{GridRowLatitude(top + ElevationTileSize), GridColumnLongitude(left), GridRowLatitude(top), GridColumnLongitude(left + ElevationTileSize)};
}

int ImportElevation(const std::vector<std::string>& sourcePaths, const std::vector<ElevationTileId>& tiles, const std::string& folder)
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

    MergeCounts total;
    int written = 0, withoutData = 0;
    GeoBox area = {90.0, 180.0, -90.0, -180.0};
    for (ElevationTileId tile : covered)
    {
        const std::string name = ElevationTileFileName(tile.tileRow, tile.tileColumn);
        const std::string path = (std::filesystem::path(folder) / name).lexically_normal().string();
        // Asked to stop (a caller that catches the stop signals): between two tiles, each whole.
        if (StopSignal())
        {
            fprintf(stderr, "dem: interrupted; %d of %zu tiles written, the rest left as they were\n", written, covered.size());
            return 1;
        }
        CoveredTile existing;
        std::string reason;
        if (!LoadCoveredTile(path, &existing, &reason))
        {
            fprintf(stderr, "dem: cannot read the existing '%s' to merge into it: %s; %d of %zu tiles written\n", name.c_str(), reason.c_str(), written, covered.size());
            return 1;
        }
        SampledTile sampled;
        if (!SampleElevationTile(sources, tile, &sampled, &reason))
        {
            fprintf(stderr, "dem: %s; stopped at %s, %d of %zu tiles written, the rest left as they were\n", reason.c_str(), name.c_str(), written, covered.size());
            return 1;
        }
        const int64_t validBefore = CountValidPoints(existing);
        const MergeCounts counts = MergeIntoTile(sampled, &existing);
        if (counts.read + counts.voidFilled == 0)
        {
            // The raster's extent meets the tile, but it holds no data for any of its points.
            printf("%s: the sources hold no data for it, not written\n", name.c_str());
            ++withoutData;
            continue;
        }
        if (!WriteCoveredTile(path, existing, &reason))
        {
            fprintf(stderr, "dem: cannot write '%s'; %d of %zu tiles written\n", reason.c_str(), written, covered.size());
            return 1;
        }
        ++written;
        printf("%s: written, %lld read, %lld void-filled, %lld kept from before, %lld without data (0 m); valid points %lld before, %lld now\n", name.c_str(), static_cast<long long>(counts.read), static_cast<long long>(counts.voidFilled), static_cast<long long>(counts.kept), static_cast<long long>(counts.voids + counts.outside),
               static_cast<long long>(validBefore), static_cast<long long>(CountValidPoints(existing)));
        total.read += counts.read;
        total.voidFilled += counts.voidFilled;
        total.kept += counts.kept;
        total.voids += counts.voids;
        total.outside += counts.outside;
        const GeoBox box = BoxOfElevationTile(tile);
        area = GeoBox{std::min(area.south, box.south), std::min(area.west, box.west), std::max(area.north, box.north), std::max(area.east, box.east)};
    }
    if (written == 0)
    {
        fprintf(stderr, "dem: the sources hold no data for the requested area; no tile written\n");
        return 1;
    }
    fprintf(stderr, "dem: %d tile%s written (%lld points): %lld read, %lld void-filled, %lld kept from the existing tiles, %lld in voids too wide to fill and %lld outside every source left at 0 m; area %.5f,%.5f,%.5f,%.5f (S,W,N,E)\n", written, written == 1 ? "" : "s",
            static_cast<long long>(written) * ElevationTileSamples * ElevationTileSamples, static_cast<long long>(total.read), static_cast<long long>(total.voidFilled), static_cast<long long>(total.kept), static_cast<long long>(total.voids), static_cast<long long>(total.outside), area.south, area.west, area.north, area.east);
    return 0;
}
