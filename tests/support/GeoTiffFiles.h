#pragma once
// GeoTIFFs written through GDAL, as the data tool's imports meet them. Only the tests that
// link GDAL anyway link this.
#include <functional>
#include <optional>
#include <string>

#include <gdal.h>

// A north-up grid in longitude and latitude (degrees, EPSG:4326): its north-west corner and
// the side of its square pixels.
struct GeoTiffGrid
{
    double west;
    double north;
    double pixelDegrees;
    int width;
    int height;

    // The centre of the pixel in row r (from the north) and column c.
    double Latitude(int r) const { return north - (r + 0.5) * pixelDegrees; }
    double Longitude(int c) const { return west + (c + 0.5) * pixelDegrees; }
};

// The value of band b (from 1) at pixel row r, column c, in the band's own units.
using GeoTiffPixels = std::function<double(int b, int r, int c)>;

// Writes `bands` bands of `type` over the grid, with `noData` as every band's no-data value
// when given. The file is uncompressed in strips of one row with its directory ahead of
// the pixels, as elevation downloads come, so a file cut short fails where it was cut.
// A failure fails the test.
void WriteGeoTiff(const std::string& path, const GeoTiffGrid& grid, GDALDataType type, int bands, const GeoTiffPixels& value, std::optional<double> noData = std::nullopt);
