#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <cpl_vsi.h>
#include <gdal_priv.h>

#include "geo/ReplayFiles.h"
#include "world/GdalReason.h"
#include "world/HttpClient.h"
#include "world/TileFiles.h"
#include "world/TilePlan.h"
#include "world/TileSources.h"

// Imagery over HTTP from a template with {z}, {x} and {y}: tiles of 256 pixels, rows from the
// north. Levels finer than the source's finest are cut from its tiles.
class XyzTiles : public RemoteImagery
{
public:
    explicit XyzTiles(const SourceAddress& address) : address(address), folder(address.cache->SourceFolder("imagery", address.location)) {}

    SourceFile FileOf(const ImageryTileId& tile) const override
    {
        const int zoom = std::min(tile.level, address.maxZoom);
        const int shift = tile.level - zoom;
        const int64_t x = WrapTileColumn(tile.column, tile.level) >> shift, y = tile.row >> shift;
        const std::string url = ReplaceField(ReplaceField(ReplaceField(address.location, "{z}", std::to_string(zoom)), "{x}", std::to_string(x)), "{y}", std::to_string(y));
        return TileCache::TileFile(folder, url, zoom, x, y);
    }

    std::string Describe(const SourceFile& file) const override { return file.url; }
    double BytesEstimate(const SourceFile&) const override { return ImageryTileBytesEstimate; }

    Outcome Download(const SourceFile& file, Network& network, std::string* error) override
    {
        const HttpResult result = network.http.Download(file.url, file.file, UnlessPicture);
        // The source has no picture there: kept as known, never drawn black.
        if (result.status == 404 && result.error.empty())
        {
            address.cache->MarkAbsent(file);
            return Outcome::Absent;
        }
        if (result.Saved())
            return Outcome::Saved;
        *error = result.Reason() + (result.unwanted.empty() ? "" : ", not a picture; not kept");
        return result.Refused() ? Outcome::Refused : Outcome::Failed;
    }

    std::unique_ptr<TileSource> FromCache() const override;

private:
    // What came when it is no picture of a kind the imagery import reads.
    static std::string UnlessPicture(const std::string& head)
    {
        const std::string kind = ContentKind(head);
        return kind == "JPEG" || kind == "PNG" || kind == "WebP" || kind == "GIF" || kind == "TIFF" ? "" : kind;
    }

    SourceAddress address;
    std::string folder; // in the cache
};

// The part of a coarser source tile that a finer replay tile covers, enlarged to a whole
// tile, as a JPEG.
static bool CutTile(const std::string& sourceFile, int levelsFiner, int64_t row, int64_t column, std::string* jpeg)
{
    const GdalDatasetPtr source = OpenRasterReadOnly(sourceFile);
    if (!source || source->GetRasterCount() < 1)
        return false;
    const int parts = 1 << levelsFiner;
    const double span = static_cast<double>(source->GetRasterXSize()) / parts;
    const int64_t part = parts;
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Bilinear;
    extra.bFloatingPointWindowValidity = TRUE;
    extra.dfXOff = static_cast<double>(column % part) * span;
    extra.dfYOff = static_cast<double>(row % part) * span;
    extra.dfXSize = span;
    extra.dfYSize = span;
    const int side = ImageryTilePixels;
    std::vector<unsigned char> pixels(static_cast<size_t>(side) * side * 3);
    int bands[3] = {1, 2, 3};
    if (source->GetRasterCount() < 3)
        bands[1] = bands[2] = 1;
    const int x = static_cast<int>(extra.dfXOff), y = static_cast<int>(extra.dfYOff);
    const int size = std::max(1, static_cast<int>(std::ceil(span)));
    if (source->RasterIO(GF_Read, x, y, std::min(size, source->GetRasterXSize() - x), std::min(size, source->GetRasterYSize() - y), pixels.data(), side, side, GDT_Byte, 3, bands, 3, 3 * side, 1, &extra) != CE_None)
        return false;
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* jpegDriver = GetGDALDriverManager()->GetDriverByName("JPEG");
    const GdalDatasetPtr picture(memory ? memory->Create("", side, side, 3, GDT_Byte, nullptr) : nullptr);
    if (!picture || !jpegDriver || picture->RasterIO(GF_Write, 0, 0, side, side, pixels.data(), side, side, GDT_Byte, 3, nullptr, 3, 3 * side, 1) != CE_None)
        return false;
    // Encoded in memory: the cache may be read-only, and the picture goes straight into the
    // import.
    const std::string name = "/vsimem/" + TileCache::TemporaryName("cut.jpg");
    GdalDatasetPtr(jpegDriver->CreateCopy(name.c_str(), picture.get(), FALSE, nullptr, nullptr, nullptr)).reset();
    vsi_l_offset length = 0;
    GByte* bytes = VSIGetMemFileBuffer(name.c_str(), &length, FALSE);
    if (bytes)
        jpeg->assign(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    VSIUnlink(name.c_str());
    VSIUnlink((name + ".aux.xml").c_str());
    return bytes && length > 0;
}

// The replay's tiles from the source tiles the cache holds.
class CachedXyzTiles : public TileSource
{
public:
    CachedXyzTiles(const XyzTiles& remote, int maxZoom) : remote(remote), maxZoom(maxZoom) {}

    bool Fetch(const ImageryTileId& tile, std::string* jpeg) override
    {
        const SourceFile source = remote.FileOf(tile);
        const int zoom = std::min(tile.level, maxZoom);
        std::string bytes;
        if (zoom == tile.level && ReadFileBytes(source.file, &bytes))
        {
            *jpeg = TileAsJpeg(bytes);
            if (jpeg->empty())
                fprintf(stderr, "imagery: '%s' is no JPEG or PNG image\n", source.file.c_str());
            return !jpeg->empty();
        }
        if (zoom < tile.level && FileExists(source.file))
        {
            if (CutTile(source.file, tile.level - zoom, tile.row, tile.column, jpeg))
                return true;
            fprintf(stderr, "fetch: cannot make imagery tile %s from '%s'; not written\n", ImageryFileName(tile).c_str(), source.file.c_str());
        }
        return false;
    }

private:
    const XyzTiles& remote;
    int maxZoom;
};

std::unique_ptr<TileSource> XyzTiles::FromCache() const
{
    return std::make_unique<CachedXyzTiles>(*this, address.maxZoom);
}

bool IsXyzTemplate(const std::string& location)
{
    return location.find("{z}") != std::string::npos && location.find("{x}") != std::string::npos && location.find("{y}") != std::string::npos;
}

std::unique_ptr<Source> OpenXyzTiles(const SourceAddress& address, std::string*)
{
    return std::make_unique<XyzTiles>(address);
}
