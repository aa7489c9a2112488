#pragma once
#include <memory>
#include <string>

// GDAL's message for its last error, without a trailing full stop or line end, or `fallback`
// when GDAL left none: a message that ends "...: " + GdalReason(...) never ends in a bare colon.
std::string GdalReason(const char* fallback);

// Why GDAL could not open `path`: GDAL's reason, else the system's (no such file, no
// permission), else that GDAL knows no format for it.
std::string GdalOpenFailure(const std::string& path);

class GDALDataset;

// A GDAL dataset, closed when it goes.
struct GdalCloser
{
    void operator()(GDALDataset* dataset) const;
};
using GdalDatasetPtr = std::unique_ptr<GDALDataset, GdalCloser>;

// The raster at the path (or GDAL's name for one) opened read-only; null when GDAL cannot.
GdalDatasetPtr OpenRasterReadOnly(const std::string& path);
