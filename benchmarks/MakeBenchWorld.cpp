// Writes a complete world for a log into the current directory, for the start-up
// benchmarks: exactly the elevation tiles and imagery tiles the terrain of that log reads,
// the grass fallback, the sky texture and an aircraft model.
//
//   flightreplay-benchworld LOG     (run in the directory to fill; LOG is read, not copied)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <osg/Image>
#include <osgDB/WriteFile>

#include "app/FlightLoading.h"
#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "terrain/RingTiles.h"

namespace
{

// A small deterministic hash, so that every run writes the same bytes.
uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

// Fields of varied crops with grain: detail like a photograph's, so that the JPEGs are of
// a photograph's size and cost as much to decode.
bool WriteImagery(const std::string& name, int width, int height, uint32_t seed)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const uint32_t field = Hash(seed ^ static_cast<uint32_t>((x / 37) * 7919 + (y / 29) * 104729));
            const uint32_t grain = Hash(seed + static_cast<uint32_t>(y * width + x));
            const int noise = static_cast<int>(grain % 9) - 4;
            unsigned char* rgb = image->data(x, y);
            rgb[0] = static_cast<unsigned char>(std::clamp(60 + static_cast<int>(field % 90) + noise, 0, 255));
            rgb[1] = static_cast<unsigned char>(std::clamp(90 + static_cast<int>((field >> 8) % 80) + noise, 0, 255));
            rgb[2] = static_cast<unsigned char>(std::clamp(40 + static_cast<int>((field >> 16) % 50) + noise, 0, 255));
        }
    }
    std::filesystem::path path(name);
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    if (osgDB::writeImageFile(*image, name))
        return true;
    fprintf(stderr, "cannot write %s\n", name.c_str());
    return false;
}

// Gentle hills: a few hundred metres of relief over the tile.
bool WriteElevationTile(const std::string& name, int32_t tileRow, int32_t tileColumn)
{
    std::string bytes(static_cast<size_t>(ElevationTileSamples) * ElevationTileSamples * 2, '\0');
    for (int r = 0; r < ElevationTileSamples; ++r)
    {
        for (int c = 0; c < ElevationTileSamples; ++c)
        {
            const double row = static_cast<double>(tileRow) * ElevationTileSize + r;
            const double column = static_cast<double>(tileColumn) * ElevationTileSize + c;
            const int16_t height = static_cast<int16_t>(500.0 + 150.0 * std::sin(row / 37.0) * std::cos(column / 53.0));
            const size_t at = 2 * (static_cast<size_t>(r) * ElevationTileSamples + c);
            bytes[at] = static_cast<char>(height & 0xff);
            bytes[at + 1] = static_cast<char>((height >> 8) & 0xff);
        }
    }
    FILE* file = fopen(name.c_str(), "wb");
    if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || fclose(file) != 0)
    {
        fprintf(stderr, "cannot write %s\n", name.c_str());
        return false;
    }
    return true;
}

// A glider-like model: a fuselage tube, a wing and a tail, a few hundred polygons.
bool WriteModel(const std::string& name)
{
    std::filesystem::create_directories(std::filesystem::path(name).parent_path());
    FILE* file = fopen(name.c_str(), "w");
    if (!file)
        return false;
    const int rings = 24;
    const int sides = 16;
    fprintf(file, "AC3Db\n");
    fprintf(file, "MATERIAL \"body\" rgb 0.9 0.9 0.95  amb 0.5 0.5 0.5  emis 0 0 0  spec 0 0 0  shi 0  trans 0\n");
    fprintf(file, "OBJECT world\nkids 2\n");
    // Fuselage along x, y up (the model's own frame).
    fprintf(file, "OBJECT poly\nname \"fuselage\"\nnumvert %d\n", rings * sides);
    for (int i = 0; i < rings; ++i)
    {
        const double x = -1.0 + 2.0 * i / (rings - 1);
        const double radius = 0.12 * std::sin(M_PI * (0.05 + 0.9 * i / (rings - 1)));
        for (int j = 0; j < sides; ++j)
            fprintf(file, "%f %f %f\n", x, radius * std::cos(2.0 * M_PI * j / sides), radius * std::sin(2.0 * M_PI * j / sides));
    }
    fprintf(file, "numsurf %d\n", (rings - 1) * sides);
    for (int i = 0; i + 1 < rings; ++i)
    {
        for (int j = 0; j < sides; ++j)
        {
            const int a = i * sides + j;
            const int b = i * sides + (j + 1) % sides;
            fprintf(file, "SURF 0x10\nmat 0\nrefs 4\n%d 0 0\n%d 1 0\n%d 1 1\n%d 0 1\n", a, b, b + sides, a + sides);
        }
    }
    fprintf(file, "kids 0\n");
    // Wing and tailplane as flat quads.
    fprintf(file, "OBJECT poly\nname \"wings\"\nnumvert 8\n");
    fprintf(file, "-0.1 0.05 -1.4\n0.25 0.05 -1.4\n0.25 0.05 1.4\n-0.1 0.05 1.4\n");
    fprintf(file, "0.8 0.1 -0.4\n1.0 0.1 -0.4\n1.0 0.1 0.4\n0.8 0.1 0.4\n");
    fprintf(file, "numsurf 2\nSURF 0x30\nmat 0\nrefs 4\n0 0 0\n1 1 0\n2 1 1\n3 0 1\nSURF 0x30\nmat 0\nrefs 4\n4 0 0\n5 1 0\n6 1 1\n7 0 1\nkids 0\n");
    return fclose(file) == 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        printf("U: %s LOG\n", argv[0]);
        return 1;
    }
    if (!LoadFlightQuietly(argv[1]))
    {
        printf("'%s' cannot be opened or has no accepted row\n", argv[1]);
        return 1;
    }

    bool written = true;
    const std::vector<ElevationTileId> tiles = RingElevationTiles(MapFrame.CI, MapFrame.CJ);
    for (const ElevationTileId& tile : tiles)
        written = WriteElevationTile(ElevationTileFileName(tile.tileRow, tile.tileColumn), tile.tileRow, tile.tileColumn) && written;
    const std::vector<ImageryTileId> imagery = RingImageryTiles(MapFrame.CI, MapFrame.CJ);
    uint32_t seed = 1;
    for (const ImageryTileId& tile : imagery)
        written = WriteImagery(ImageryFileName(tile), ImageryTilePixels, ImageryTilePixels, seed++) && written;
    written = WriteImagery(GrassTextureFile, ImageryTilePixels, ImageryTilePixels, 0x9a55) && written;
    written = WriteImagery(AircraftTextureFile, 128, 128, 0x7a30) && written;
    written = WriteImagery(SkyTextureFile, 1024, 512, 0x5c1) && written;
    written = WriteModel(AircraftModelFile) && written;
    printf("%zu elevation tiles, %zu imagery tiles\n", tiles.size(), imagery.size());
    return written ? 0 : 1;
}
