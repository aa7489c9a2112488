#include "support/GeoTiffFiles.h"

#include <vector>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

void WriteGeoTiff(const std::string& path, const GeoTiffGrid& grid, GDALDataType type, int bands, const GeoTiffPixels& value, std::optional<double> noData)
{
    GDALAllRegister();
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    ASSERT_TRUE(memory && driver);
    GDALDataset* source = memory->Create("", grid.width, grid.height, bands, type, nullptr);
    ASSERT_NE(source, nullptr);
    double transform[6] = {grid.west, grid.pixelDegrees, 0.0, grid.north, 0.0, -grid.pixelDegrees};
    source->SetGeoTransform(transform);
    OGRSpatialReference geographic;
    geographic.importFromEPSG(4326);
    source->SetSpatialRef(&geographic);
    std::vector<double> values(static_cast<size_t>(grid.width) * grid.height);
    for (int b = 1; b <= bands; ++b)
    {
        for (int r = 0; r < grid.height; ++r)
            for (int c = 0; c < grid.width; ++c)
                values[static_cast<size_t>(r) * grid.width + c] = value(b, r, c);
        GDALRasterBand* band = source->GetRasterBand(b);
        if (noData)
            band->SetNoDataValue(*noData);
        // GDAL converts the doubles to the band's type, rounding to the nearest.
        ASSERT_EQ(band->RasterIO(GF_Write, 0, 0, grid.width, grid.height, values.data(), grid.width, grid.height, GDT_Float64, 0, 0), CE_None);
    }
    // A copy puts the file's directory before the pixels.
    char rows[] = "BLOCKYSIZE=1";
    char* options[] = {rows, nullptr};
    GDALDataset* file = driver->CreateCopy(path.c_str(), source, FALSE, options, nullptr, nullptr);
    GDALClose(source);
    ASSERT_NE(file, nullptr) << path;
    GDALClose(file);
}
