#include <algorithm>
#include <cctype>
#include <cstdio>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "world/GdalReason.h"
#include "world/TileSources.h"

// An MBTiles file: a tiles table, rows counted from the south.
class MBTilesSource : public TileSource
{
public:
    ~MBTilesSource() override
    {
        if (dataset)
            GDALClose(dataset);
    }

    // The file's tiles table is read through GDAL's SQLite driver, as a table.
    bool Open(const std::string& path)
    {
        CPLErrorReset();
        // The prefix makes GDAL's SQLite driver take the file, which it otherwise leaves to
        // the MBTiles raster driver; that one would hand out resampled pixels, not the tiles.
        const std::string name = "SQLITE:" + path;
        dataset = static_cast<GDALDataset*>(GDALOpenEx(name.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
        if (!dataset)
            return false;
        OGRLayer* probe = dataset->ExecuteSQL("SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles LIMIT 1", nullptr, nullptr);
        if (!probe)
            return false;
        dataset->ReleaseResultSet(probe);
        return true;
    }

    bool Fetch(const ImageryTileId& tile, std::string* jpeg) override
    {
        char query[160];
        snprintf(query, sizeof query, "SELECT tile_data FROM tiles WHERE zoom_level = %d AND tile_column = %lld AND tile_row = %lld", tile.level, static_cast<long long>(tile.column), static_cast<long long>(TileRowFromSouth(tile)));
        OGRLayer* result = dataset->ExecuteSQL(query, nullptr, nullptr);
        if (!result)
            return false;
        std::string bytes;
        bool found = false;
        if (OGRFeature* feature = result->GetNextFeature())
        {
            int size = 0;
            const GByte* data = feature->GetFieldAsBinary(0, &size);
            bytes.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(size));
            found = true;
            OGRFeature::DestroyFeature(feature);
        }
        dataset->ReleaseResultSet(result);
        if (!found)
            return false;
        *jpeg = TileAsJpeg(bytes);
        if (jpeg->empty())
            fprintf(stderr, "imagery: tile %d/%lld/%lld of the MBTiles file is no JPEG or PNG image\n", tile.level, static_cast<long long>(tile.column), static_cast<long long>(TileRowFromSouth(tile)));
        return !jpeg->empty();
    }

private:
    GDALDataset* dataset = nullptr;
};

bool IsMBTilesFile(const std::string& location)
{
    const std::string suffix = ".mbtiles";
    return location.size() > suffix.size() && std::equal(suffix.rbegin(), suffix.rend(), location.rbegin(), [](char a, char b) { return a == tolower(static_cast<unsigned char>(b)); });
}

std::unique_ptr<Source> OpenMBTiles(const SourceAddress& address, std::string* reason)
{
    auto file = std::make_unique<MBTilesSource>();
    if (file->Open(address.location))
        return file;
    *reason = "cannot read '" + address.location + "' as an MBTiles file: " + GdalReason("it holds no tiles table");
    return nullptr;
}
