#include "support/ServedElevation.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <gdal_priv.h>

#include "world/TileFetch.h"

double ServedElevation(double latitude, double longitude)
{
    return 200.0 + 300.0 * (latitude - std::floor(latitude)) + 200.0 * (longitude - std::floor(longitude));
}

bool WriteServedElevationSquare(const std::string& root, int latitude, int longitude)
{
    const int side = 120;
    GDALAllRegister();
    GDALDataset* memory = GetGDALDriverManager()->GetDriverByName("MEM")->Create("", side, side, 1, GDT_Float32, nullptr);
    double transform[6] = {double(longitude), 1.0 / side, 0, latitude + 1.0, 0, -1.0 / side};
    memory->SetGeoTransform(transform);
    memory->SetProjection("EPSG:4326");
    std::vector<float> pixels;
    for (int r = 0; r < side; ++r)
        for (int c = 0; c < side; ++c)
            pixels.push_back(static_cast<float>(ServedElevation(latitude + 1.0 - (r + 0.5) / side, longitude + (c + 0.5) / side)));
    bool written = memory->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, side, side, pixels.data(), side, side, GDT_Float32, 0, 0) == CE_None;
    const std::string name = DemSquareName(latitude, longitude), path = root + "/" + name + "/" + name + ".tif";
    std::filesystem::create_directories(root + "/" + name);
    GDALDataset* cog = written ? GetGDALDriverManager()->GetDriverByName("COG")->CreateCopy(path.c_str(), memory, FALSE, nullptr, nullptr, nullptr) : nullptr;
    GDALClose(memory);
    if (!cog)
    {
        fprintf(stderr, "cannot write the served elevation square '%s'\n", path.c_str());
        return false;
    }
    GDALClose(cog);
    return true;
}
