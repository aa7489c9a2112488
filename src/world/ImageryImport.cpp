#include "world/ImageryImport.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

#include <gdal_priv.h>
#include <gdalwarper.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>
#include <osgDB/ReaderWriter>
#include <osgDB/Registry>

#include "batch/CommandReport.h"
#include "geo/ReplayFiles.h"
#include "world/GdalReason.h"
#include "world/TileFiles.h"

// Half the circumference of the Web Mercator sphere, metres: the x and y range of the map.
static const double MercatorHalfWorld = 20037508.342789244;
static const int TilePixels = 256; // pixels per side of a web map tile

ImagerySourceKind ClassifyImagerySource(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return ImagerySourceKind::TileFolder;
    const std::string suffix = ".mbtiles";
    if (path.size() > suffix.size() && std::equal(suffix.rbegin(), suffix.rend(), path.rbegin(), [](char a, char b) { return a == tolower(static_cast<unsigned char>(b)); }))
        return ImagerySourceKind::MBTiles;
    return ImagerySourceKind::Raster;
}

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

enum class TileEncoding
{
    Jpeg,
    Png,
    Unknown,
};

static TileEncoding EncodingOf(const std::string& bytes)
{
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF)
        return TileEncoding::Jpeg;
    if (bytes.size() >= 8 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0)
        return TileEncoding::Png;
    return TileEncoding::Unknown;
}

// The bytes of a JPEG file for a source tile: JPEG as it is, PNG decoded and re-encoded.
// Empty when the tile is in neither format or does not decode.
static std::string ToJpeg(const std::string& bytes)
{
    switch (EncodingOf(bytes))
    {
    case TileEncoding::Jpeg:
        return bytes;
    case TileEncoding::Png:
    {
        osgDB::ReaderWriter* reader = osgDB::Registry::instance()->getReaderWriterForExtension("png");
        if (!reader)
            return std::string();
        std::istringstream stream(bytes);
        osgDB::ReaderWriter::ReadResult result = reader->readImage(stream);
        if (!result.validImage())
            return std::string();
        return EncodeJpeg(*result.getImage());
    }
    case TileEncoding::Unknown:
        break;
    }
    return std::string();
}

static bool ReadWholeFile(const std::string& path, std::string* bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    *bytes = content.str();
    return true;
}

// A source of tiles by their level, row from the north and column. Fetch gives the tile's
// JPEG bytes, or false when the source does not hold it (or it does not decode).
class TileSource
{
public:
    virtual ~TileSource() = default;
    virtual bool Fetch(const ImageryTileId& tile, std::string* jpeg) = 0;
};

static int64_t RowFromSouth(const ImageryTileId& tile)
{
    return (int64_t{1} << tile.level) - 1 - tile.row;
}

class FolderTileSource : public TileSource
{
public:
    FolderTileSource(const std::string& folder, bool tms) : folder(folder), tms(tms) {}

    bool Fetch(const ImageryTileId& tile, std::string* jpeg) override
    {
        const int64_t row = tms ? RowFromSouth(tile) : tile.row;
        for (const char* extension : {"jpg", "jpeg", "png"})
        {
            char name[80];
            snprintf(name, sizeof name, "/%d/%lld/%lld.%s", tile.level, static_cast<long long>(tile.column), static_cast<long long>(row), extension);
            std::string bytes;
            if (ReadWholeFile(folder + name, &bytes))
            {
                *jpeg = ToJpeg(bytes);
                if (jpeg->empty())
                    fprintf(stderr, "imagery: '%s%s' is no JPEG or PNG image\n", folder.c_str(), name);
                return !jpeg->empty();
            }
        }
        return false;
    }

private:
    std::string folder;
    bool tms;
};

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
        snprintf(query, sizeof query, "SELECT tile_data FROM tiles WHERE zoom_level = %d AND tile_column = %lld AND tile_row = %lld", tile.level, static_cast<long long>(tile.column), static_cast<long long>(RowFromSouth(tile)));
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
        *jpeg = ToJpeg(bytes);
        if (jpeg->empty())
            fprintf(stderr, "imagery: tile %d/%lld/%lld of the MBTiles file is no JPEG or PNG image\n", tile.level, static_cast<long long>(tile.column), static_cast<long long>(RowFromSouth(tile)));
        return !jpeg->empty();
    }

private:
    GDALDataset* dataset = nullptr;
};

class RasterTileSource : public TileSource
{
public:
    ~RasterTileSource() override
    {
        if (dataset)
            GDALClose(dataset);
    }

    // False with the reason when the file is no georeferenced picture.
    bool Open(const std::string& path, std::string* reason)
    {
        CPLErrorReset();
        dataset = static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
        if (!dataset || dataset->GetRasterCount() < 1)
        {
            *reason = dataset ? GdalReason("it holds no raster band") : GdalOpenFailure(path);
            return false;
        }
        // One band of 16-bit or floating-point values is a raster of heights (or some other
        // measure), not grey levels: drawn as a picture it would be near-white tiles.
        const GDALDataType type = dataset->GetRasterBand(1)->GetRasterDataType();
        if (dataset->GetRasterCount() == 1 && type != GDT_Byte)
        {
            *reason = std::string("it is one band of ") + GDALGetDataTypeName(type) + " values, an elevation raster rather than a picture: import it with `flightreplay-data dem`";
            return false;
        }
        double geoTransform[6];
        if (dataset->GetGeoTransform(geoTransform) == CE_None)
            hasFootprint = FindFootprint(geoTransform);
        else if (dataset->GetGCPCount() == 0)
        {
            *reason = "it has no georeferencing";
            return false;
        }
        // Colour bands: grey repeated three times, or red, green and blue; a last alpha band
        // marks where the image has no content.
        const int bands = dataset->GetRasterCount();
        colourBands = bands >= 3 ? 3 : 1;
        if (dataset->GetRasterBand(bands)->GetColorInterpretation() == GCI_AlphaBand && bands > colourBands)
            alphaBand = bands;
        // The no-data values, when every colour band has one.
        for (int b = 1; b <= colourBands; ++b)
        {
            int hasNoData = 0;
            const double value = dataset->GetRasterBand(b)->GetNoDataValue(&hasNoData);
            if (hasNoData)
                noData.push_back(value);
        }
        if (noData.size() != static_cast<size_t>(colourBands))
            noData.clear();
        return true;
    }

    bool Fetch(const ImageryTileId& tile, std::string* jpeg) override
    {
        // Warping costs milliseconds a tile; a wide box holds far more tiles than the image.
        const GeoBox box = BoxOfTile(tile);
        if (hasFootprint && (box.east < footprint.west || box.west > footprint.east || box.north < footprint.south || box.south > footprint.north))
            return false;
        const double tileMetres = 2.0 * MercatorHalfWorld / (1 << tile.level);
        GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
        std::unique_ptr<GDALDataset, void (*)(GDALDataset*)> target(memory->Create("", TilePixels, TilePixels, colourBands + 1, GDT_Byte, nullptr), [](GDALDataset* d) { GDALClose(d); });
        if (!target)
            return false;
        double geoTransform[6] = {-MercatorHalfWorld + tile.column * tileMetres, tileMetres / TilePixels, 0.0, MercatorHalfWorld - tile.row * tileMetres, 0.0, -tileMetres / TilePixels};
        target->SetGeoTransform(geoTransform);
        OGRSpatialReference webMercator;
        webMercator.importFromEPSG(3857);
        target->SetSpatialRef(&webMercator);

        GDALWarpOptions* options = GDALCreateWarpOptions();
        options->hSrcDS = dataset;
        options->hDstDS = target.get();
        options->nBandCount = colourBands;
        options->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int) * colourBands));
        options->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int) * colourBands));
        for (int b = 0; b < colourBands; ++b)
        {
            options->panSrcBands[b] = b + 1;
            options->panDstBands[b] = b + 1;
        }
        options->nSrcAlphaBand = alphaBand;
        options->nDstAlphaBand = colourBands + 1;
        // A no-data value (a hillshade's 0) marks pixels without content, as an alpha band or
        // a mask does (the warper reads a mask band itself): left out, not drawn black.
        if (noData.size() == static_cast<size_t>(colourBands))
        {
            options->padfSrcNoDataReal = static_cast<double*>(CPLMalloc(sizeof(double) * colourBands));
            for (int b = 0; b < colourBands; ++b)
                options->padfSrcNoDataReal[b] = noData[b];
        }
        options->eResampleAlg = GRA_Bilinear;
        options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "INIT_DEST", "0");
        options->pTransformerArg = GDALCreateGenImgProjTransformer2(dataset, target.get(), nullptr);
        options->pfnTransformer = GDALGenImgProjTransform;
        bool warped = false;
        if (options->pTransformerArg)
        {
            GDALWarpOperation operation;
            warped = operation.Initialize(options) == CE_None && operation.ChunkAndWarpImage(0, 0, TilePixels, TilePixels) == CE_None;
            GDALDestroyGenImgProjTransformer(options->pTransformerArg);
        }
        GDALDestroyWarpOptions(options);
        if (!warped)
            return false;

        std::vector<unsigned char> pixels(static_cast<size_t>(TilePixels) * TilePixels * (colourBands + 1));
        if (target->RasterIO(GF_Read, 0, 0, TilePixels, TilePixels, pixels.data(), TilePixels, TilePixels, GDT_Byte, colourBands + 1, nullptr, colourBands + 1, static_cast<GSpacing>(TilePixels) * (colourBands + 1), 1) != CE_None)
            return false;
        const size_t stride = colourBands + 1;
        bool anyContent = false;
        for (size_t i = 0; i < static_cast<size_t>(TilePixels) * TilePixels && !anyContent; ++i)
            anyContent = pixels[i * stride + colourBands] != 0;
        if (!anyContent)
            return false; // the tile lies outside the image

        // osg images hold their bottom row first; GDAL hands the top row first.
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->allocateImage(TilePixels, TilePixels, 1, GL_RGB, GL_UNSIGNED_BYTE);
        for (int y = 0; y < TilePixels; ++y)
            for (int x = 0; x < TilePixels; ++x)
            {
                const unsigned char* source = &pixels[(static_cast<size_t>(y) * TilePixels + x) * stride];
                unsigned char* pixel = image->data(x, TilePixels - 1 - y);
                for (int k = 0; k < 3; ++k)
                    pixel[k] = source[colourBands == 3 ? k : 0];
            }
        *jpeg = EncodeJpeg(*image);
        return !jpeg->empty();
    }

private:
    // The image's outline in degrees, from points along its edges; false when the image's
    // coordinates cannot be converted (then every tile is warped and judged by its content).
    bool FindFootprint(const double* geoTransform)
    {
        OGRSpatialReference geographic;
        geographic.SetWellKnownGeogCS("WGS84");
        geographic.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        const OGRSpatialReference* reference = dataset->GetSpatialRef();
        std::unique_ptr<OGRCoordinateTransformation> toDegrees;
        if (reference && !reference->IsEmpty() && !reference->IsGeographic())
        {
            OGRSpatialReference source(*reference);
            source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
            toDegrees.reset(OGRCreateCoordinateTransformation(&source, &geographic));
            if (!toDegrees)
                return false;
        }
        const int steps = 32;
        const double width = dataset->GetRasterXSize(), height = dataset->GetRasterYSize();
        footprint = GeoBox{90.0, 180.0, -90.0, -180.0};
        for (int side = 0; side < 4; ++side)
            for (int i = 0; i <= steps; ++i)
            {
                const double f = static_cast<double>(i) / steps;
                const double px = side < 2 ? f * width : (side == 2 ? 0.0 : width);
                const double py = side < 2 ? (side == 0 ? 0.0 : height) : f * height;
                double x = geoTransform[0] + px * geoTransform[1] + py * geoTransform[2];
                double y = geoTransform[3] + px * geoTransform[4] + py * geoTransform[5];
                if (toDegrees && !toDegrees->Transform(1, &x, &y))
                    return false;
                footprint = GeoBox{std::min(footprint.south, y), std::min(footprint.west, x), std::max(footprint.north, y), std::max(footprint.east, x)};
            }
        return true;
    }

    GDALDataset* dataset = nullptr;
    int colourBands = 1;
    int alphaBand = 0;
    std::vector<double> noData; // of each colour band, or empty
    bool hasFootprint = false;
    GeoBox footprint = {};
};

int ImportImagery(const std::string& sourcePath, bool tms, const std::vector<ImageryTileId>& tiles)
{
    GDALAllRegister();
    std::unique_ptr<TileSource> source;
    switch (ClassifyImagerySource(sourcePath))
    {
    case ImagerySourceKind::TileFolder:
        source.reset(new FolderTileSource(sourcePath, tms));
        break;
    case ImagerySourceKind::MBTiles:
    {
        std::unique_ptr<MBTilesSource> file(new MBTilesSource);
        if (!file->Open(sourcePath))
        {
            fprintf(stderr, "imagery: cannot read '%s' as an MBTiles file: %s\n", sourcePath.c_str(), GdalReason("it holds no tiles table").c_str());
            return 1;
        }
        source = std::move(file);
        break;
    }
    case ImagerySourceKind::Raster:
    {
        std::unique_ptr<RasterTileSource> raster(new RasterTileSource);
        std::string reason;
        if (!raster->Open(sourcePath, &reason))
        {
            fprintf(stderr, "imagery: cannot read '%s' as a georeferenced image, MBTiles file or tile folder: %s\n", sourcePath.c_str(), reason.c_str());
            return 1;
        }
        source = std::move(raster);
        break;
    }
    }

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
        if (!source->Fetch(onGrid, &jpeg))
        {
            ++absent[tile.level];
            continue;
        }
        const std::string name = ImageryFileName(tile);
        if (!EnsureDirectory("./img"))
        {
            fprintf(stderr, "imagery: cannot make the folder './img'\n");
            return 1;
        }
        if (!WriteFileAtomically(name, jpeg.data(), jpeg.size()))
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
        fprintf(stderr, "imagery: '%s' holds none of the requested tiles\n", sourcePath.c_str());
        return 1;
    }
    fprintf(stderr, "imagery: %d of %zu tiles written, %d not in the source; area %.5f,%.5f,%.5f,%.5f (S,W,N,E)\n", total, tiles.size(), totalAbsent, area.south, area.west, area.north, area.east);
    return 0;
}
