#include <algorithm>
#include <memory>
#include <vector>

#include <gdal_priv.h>
#include <gdalwarper.h>
#include <ogr_spatialref.h>
#include <osg/Image>

#include "geo/ReplayFiles.h"
#include "world/GdalReason.h"
#include "world/ImageryImport.h"
#include "world/TileSources.h"

// Half the circumference of the Web Mercator sphere, metres: the x and y range of the map.
static const double MercatorHalfWorld = 20037508.342789244;
static const int TilePixels = 256; // pixels per side of a web map tile

// Any georeferenced image GDAL reads, warped to Web Mercator tiles.
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

bool IsAnyPath(const std::string&)
{
    return true;
}

std::unique_ptr<Source> OpenRasterImagery(const SourceAddress& address, std::string* reason)
{
    auto raster = std::make_unique<RasterTileSource>();
    if (raster->Open(address.location, reason))
        return raster;
    *reason = "cannot read '" + address.location + "' as a georeferenced image, MBTiles file or tile folder: " + *reason;
    return nullptr;
}
