#include "world/GdalReason.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <cpl_error.h>
#include <gdal_priv.h>

std::string GdalReason(const char* fallback)
{
    std::string reason = CPLGetLastErrorMsg();
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? std::string(fallback) : reason;
}

std::string GdalOpenFailure(const std::string& path)
{
    const std::string reason = GdalReason("");
    if (!reason.empty())
        return reason;
    // GDAL says nothing about a file it cannot open at all.
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return strerror(errno);
    fclose(file);
    return "GDAL knows no format for it";
}

void GdalCloser::operator()(GDALDataset* dataset) const
{
    if (dataset)
        GDALClose(dataset);
}

GdalDatasetPtr OpenRasterReadOnly(const std::string& path)
{
    return GdalDatasetPtr(static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
}
