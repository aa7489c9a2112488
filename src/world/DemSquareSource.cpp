#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "world/DemImport.h"
#include "world/GdalReason.h"
#include "world/HttpClient.h"
#include "world/RemoteRaster.h"
#include "world/TileFetch.h"
#include "world/TileSources.h"

// Bytes a dry run quotes for a compressed Float32 pixel of a window.
static const double DemPixelBytesEstimate = 2.5;

std::string DemSquareName(int latitude, int longitude)
{
    char name[64];
    snprintf(name, sizeof name, "Copernicus_DSM_COG_10_%c%02d_00_%c%03d_00_DEM", latitude < 0 ? 'S' : 'N', std::abs(latitude), longitude < 0 ? 'W' : 'E', std::abs(longitude));
    return name;
}

// The window's pixels per degree: twice the replay's samples, finer than the terrain draws.
static double WindowPixelsPerDegree()
{
    return 2.0 * ElevationTileSize / (360.0 / ElevationTilesPerAxis);
}

static int64_t WindowPixels(const GeoBox& box)
{
    return static_cast<int64_t>(std::ceil((box.east - box.west) * WindowPixelsPerDegree()) * std::ceil((box.north - box.south) * WindowPixelsPerDegree()));
}

static std::string WgsProjection()
{
    OGRSpatialReference geographic;
    geographic.SetWellKnownGeogCS("WGS84");
    char* wkt = nullptr;
    geographic.exportToWkt(&wkt);
    const std::string text = wkt ? wkt : "";
    CPLFree(wkt);
    return text;
}

// Writes the pixels over a north-up grid to `path` through a temporary name.
static bool WriteWindow(const std::string& path, const std::vector<float>& pixels, int width, int height, const double geoTransform[6], const char* projection, const double* noData, std::string* error)
{
    const std::string partial = TileCache::TemporaryName(path);
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    const char* creation[] = {"COMPRESS=DEFLATE", "TILED=YES", nullptr};
    GdalDatasetPtr file(driver ? driver->Create(partial.c_str(), width, height, 1, GDT_Float32, const_cast<char**>(creation)) : nullptr);
    bool done = file != nullptr;
    if (done)
    {
        double transform[6];
        std::copy(geoTransform, geoTransform + 6, transform);
        file->SetGeoTransform(transform);
        file->SetProjection(projection);
        if (noData)
            file->GetRasterBand(1)->SetNoDataValue(*noData);
        done = file->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, width, height, const_cast<float*>(pixels.data()), width, height, GDT_Float32, 0, 0) == CE_None;
        file.reset();
        done = done && CPLGetLastErrorType() < CE_Failure;
    }
    if (done && rename(partial.c_str(), path.c_str()) == 0)
        return true;
    *error = "cannot write '" + path + "': " + GdalReason("no reason given");
    VSIUnlink(partial.c_str());
    return false;
}

// Elevation over HTTP from a template with {tile}, one raster (a cloud-optimised GeoTIFF) a
// 1 x 1 degree square, of which only the window the terrain needs is read, GDAL reading it in
// ranges through our own client. The square's HEAD, asked once a run, tells a square the
// source lacks (404): the open sea, kept as a flat 0 m raster over the window.
class DemSquares : public RemoteElevation
{
public:
    explicit DemSquares(const SourceAddress& address) : address(address), folder(address.cache->SourceFolder("dem", address.location)) {}

    std::vector<SourceFile> FilesOf(ElevationTileId tile) const override
    {
        std::vector<SourceFile> files;
        const GeoBox box = BoxOfElevationTile(tile);
        for (int latitude = static_cast<int>(std::floor(box.south)); latitude < box.north && latitude < 90; ++latitude)
            for (int longitude = static_cast<int>(std::floor(box.west)); longitude < box.east; ++longitude)
            {
                const std::string square = DemSquareName(latitude, longitude);
                const GeoBox part = {std::max(box.south, double(latitude)), std::max(box.west, double(longitude)), std::min(box.north, latitude + 1.0), std::min(box.east, longitude + 1.0)};
                files.push_back(TileCache::WindowFile(folder, ReplaceField(address.location, "{tile}", square), square, tile.tileRow, tile.tileColumn, part));
            }
        return files;
    }

    std::string Describe(const SourceFile& file) const override
    {
        char box[128];
        snprintf(box, sizeof box, " window %.5f,%.5f,%.5f,%.5f", file.window.south, file.window.west, file.window.north, file.window.east);
        return file.url + box;
    }

    double BytesEstimate(const SourceFile& file) const override { return WindowPixels(file.window) * DemPixelBytesEstimate; }

    Outcome Download(const SourceFile& file, Network& network, std::string* error) override;

private:
    SourceAddress address;
    std::string folder; // in the cache
};

Outcome DemSquares::Download(const SourceFile& file, Network& network, std::string* error)
{
    RemoteRasters& remote = network.rasters;
    const GeoBox& window = file.window;
    const HttpResult& probe = remote.Probe(file.url);
    if (!probe.error.empty() || (probe.status != 200 && probe.status != 404))
    {
        *error = probe.Reason();
        return probe.Refused() ? Outcome::Refused : Outcome::Failed;
    }
    if (probe.status == 200 && probe.size < 0)
    {
        *error = "the server does not say how long the file is (no Content-Length)";
        return Outcome::Failed;
    }
    CPLErrorReset();
    const GdalDatasetPtr source = probe.status == 404 ? nullptr : OpenRasterReadOnly(remote.GdalPath(file.url));
    if (!source)
    {
        const std::string reason = remote.ReadError().empty() ? CPLGetLastErrorMsg() : remote.ReadError();
        if (probe.status == 404)
        {
            // No square there: the open sea. A flat 2 x 2 raster over the window says 0 m.
            const double transform[6] = {window.west, (window.east - window.west) / 2, 0, window.north, 0, -(window.north - window.south) / 2};
            return WriteWindow(file.absentFile, std::vector<float>(4, 0.0f), 2, 2, transform, WgsProjection().c_str(), nullptr, error) ? Outcome::Absent : Outcome::Failed;
        }
        *error = reason.empty() ? "cannot open it" : reason;
        // What came whole but is no raster GDAL reads is the source's.
        return remote.ReadError().empty() || remote.ReadRefused() ? Outcome::Refused : Outcome::Failed;
    }
    double transform[6], inverse[6];
    if (source->GetRasterCount() < 1 || source->GetGeoTransform(transform) != CE_None || !GDALInvGeoTransform(transform, inverse))
    {
        *error = "no georeferenced raster";
        return Outcome::Refused;
    }
    // The window in source pixels, a pixel wider on every side for the bilinear edges.
    auto pixelX = [&](double lon, double lat) { return inverse[0] + lon * inverse[1] + lat * inverse[2]; };
    auto pixelY = [&](double lon, double lat) { return inverse[3] + lon * inverse[4] + lat * inverse[5]; };
    const int width = source->GetRasterXSize(), height = source->GetRasterYSize();
    const int x0 = std::clamp(static_cast<int>(std::floor(pixelX(window.west, window.north))) - 1, 0, width);
    const int x1 = std::clamp(static_cast<int>(std::ceil(pixelX(window.east, window.south))) + 1, 0, width);
    const int y0 = std::clamp(static_cast<int>(std::floor(pixelY(window.west, window.north))) - 1, 0, height);
    const int y1 = std::clamp(static_cast<int>(std::ceil(pixelY(window.east, window.south))) + 1, 0, height);
    if (x1 <= x0 || y1 <= y0)
    {
        *error = "the raster does not reach the window";
        return Outcome::Refused;
    }
    // No finer than the terrain needs: GDAL then reads a coarser overview of the file.
    const int outWidth = std::min(x1 - x0, static_cast<int>(std::ceil((window.east - window.west) * WindowPixelsPerDegree())) + 2);
    const int outHeight = std::min(y1 - y0, static_cast<int>(std::ceil((window.north - window.south) * WindowPixelsPerDegree())) + 2);
    std::vector<float> pixels(static_cast<size_t>(outWidth) * outHeight);
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Bilinear;
    GDALRasterBand* band = source->GetRasterBand(1);
    if (band->RasterIO(GF_Read, x0, y0, x1 - x0, y1 - y0, pixels.data(), outWidth, outHeight, GDT_Float32, 0, 0, &extra) != CE_None)
    {
        *error = remote.ReadError().empty() ? GdalReason("reading the window failed") : remote.ReadError();
        return remote.ReadError().empty() || remote.ReadRefused() ? Outcome::Refused : Outcome::Failed;
    }
    const double windowTransform[6] = {transform[0] + x0 * transform[1] + y0 * transform[2], transform[1] * (x1 - x0) / outWidth, 0, transform[3] + x0 * transform[4] + y0 * transform[5], 0, transform[5] * (y1 - y0) / outHeight};
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    const char* projection = source->GetProjectionRef();
    return WriteWindow(file.file, pixels, outWidth, outHeight, windowTransform, projection && *projection ? projection : WgsProjection().c_str(), hasNoData ? &noData : nullptr, error) ? Outcome::Saved : Outcome::Failed;
}

bool IsAnyUrl(const std::string&)
{
    return true;
}

std::unique_ptr<Source> OpenDemSquares(const SourceAddress& address, std::string*)
{
    return std::make_unique<DemSquares>(address);
}
