// Writes a small, complete working directory for the windowed viewer test: a circling
// flight log, elevation tiles with one hill, imagery for every ring tile of all six levels,
// the grass fallback, the sky texture, the aircraft model and the shape aircraft's texture.
//
//   scene_test_world [seconds-per-sample]
//
// Everything goes into the current directory. A long time per sample (say 1000) makes
// the aircraft practically stand still, so that screenshots change only when the camera does.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <osg/Image>
#include <osgDB/WriteFile>

#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"

namespace
{
const double CentreLatitude = 46.5;  // degrees
const double CentreLongitude = 7.5;  // degrees
const double MetresPerDegree = 111320.0;
const double CircleRadius = 400.0;   // metres
const double BaseHeight = 400.0;     // metres, the plain around the hill
const double FlightHeight = 550.0;   // metres
const int SampleCount = 120;

using Painter = void (*)(int x, int y, int width, int height, int seed, unsigned char* rgb);

bool WriteImage(const std::string& name, int width, int height, int seed, Painter paint)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            paint(x, y, width, height, seed, image->data(x, y));
    if (osgDB::writeImageFile(*image, name))
        return true;
    fprintf(stderr, "cannot write %s\n", name.c_str());
    return false;
}

// Fields of a level-dependent hue, with a dark border so that tile edges show.
void PaintImagery(int x, int y, int width, int height, int seed, unsigned char* rgb)
{
    const int level = seed & 0xff;
    const bool odd = ((seed >> 8) & 1) != 0;
    const bool border = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
    const bool stripe = ((x + y) / 8) % 2 == 0;
    rgb[0] = static_cast<unsigned char>(border ? 40 : 60 + (18 - level) * 25 + (odd ? 30 : 0));
    rgb[1] = static_cast<unsigned char>(border ? 40 : (stripe ? 150 : 120));
    rgb[2] = static_cast<unsigned char>(border ? 40 : 50 + (odd ? 40 : 0));
}

void PaintGrass(int x, int y, int, int, int, unsigned char* rgb)
{
    rgb[0] = static_cast<unsigned char>(50 + (x * 7 + y * 13) % 30);
    rgb[1] = static_cast<unsigned char>(120 + (x * 11 + y * 5) % 40);
    rgb[2] = 40;
}

// Row 0 is the bottom of the sphere: haze below the horizon, blue deepening upwards, and
// a band of soft clouds so that turning the camera shows.
void PaintSky(int x, int y, int width, int height, int, unsigned char* rgb)
{
    const double t = static_cast<double>(y) / (height - 1);
    if (t < 0.5)
    {
        rgb[0] = 170;
        rgb[1] = 170;
        rgb[2] = 160;
        return;
    }
    const double up = (t - 0.5) * 2.0;
    const double cloud = std::fmax(0.0, std::sin(x * 12.0 * Pi / width) * std::sin(up * 3.0 * Pi)) * (up < 0.4 ? 1.0 : 0.0);
    rgb[0] = static_cast<unsigned char>(std::fmin(255.0, 200 - 150 * up + 90 * cloud));
    rgb[1] = static_cast<unsigned char>(std::fmin(255.0, 220 - 110 * up + 60 * cloud));
    rgb[2] = static_cast<unsigned char>(std::fmin(255.0, 255 - 40 * up));
}

void PaintStripes(int x, int, int width, int, int, unsigned char* rgb)
{
    const bool orange = (x * 8 / width) % 2 == 0;
    rgb[0] = 250;
    rgb[1] = static_cast<unsigned char>(orange ? 120 : 250);
    rgb[2] = static_cast<unsigned char>(orange ? 20 : 250);
}

// A hill of 300 m, 8 zoom-18 tiles north-east of the flight centre.
int16_t Height(double row, double column, double hillRow, double hillColumn)
{
    const double d2 = (row - hillRow) * (row - hillRow) + (column - hillColumn) * (column - hillColumn);
    return static_cast<int16_t>(BaseHeight + 300.0 * std::exp(-d2 / (2.0 * 6.0 * 6.0)));
}

bool WriteElevationTiles(int32_t ci, int32_t cj)
{
    // The coarsest ring reaches 3.5 tiles of 32 around the centre; one tile more of margin.
    const int32_t reach = 5 * 32;
    const double hillRow = ci - 8.0;
    const double hillColumn = cj + 8.0;
    std::vector<unsigned char> bytes(2 * ElevationTileSamples * ElevationTileSamples);
    for (int32_t tileRow = (ci - reach) / ElevationTileSize; tileRow <= (ci + reach) / ElevationTileSize; ++tileRow)
        for (int32_t tileColumn = (cj - reach) / ElevationTileSize; tileColumn <= (cj + reach) / ElevationTileSize; ++tileColumn)
        {
            for (int r = 0; r < ElevationTileSamples; ++r)
                for (int c = 0; c < ElevationTileSamples; ++c)
                {
                    const int16_t h = Height(static_cast<double>(tileRow) * ElevationTileSize + r, static_cast<double>(tileColumn) * ElevationTileSize + c, hillRow, hillColumn);
                    const size_t at = 2 * (static_cast<size_t>(r) * ElevationTileSamples + c);
                    bytes[at] = static_cast<unsigned char>(h & 0xff); // little-endian
                    bytes[at + 1] = static_cast<unsigned char>((h >> 8) & 0xff);
                }
            const std::string name = ElevationTileFileName(tileRow, tileColumn);
            FILE* file = fopen(name.c_str(), "wb");
            if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
            {
                fprintf(stderr, "cannot write %s\n", name.c_str());
                if (file)
                    fclose(file);
                return false;
            }
            fclose(file);
        }
    return true;
}

bool WriteImagery(int32_t ci, int32_t cj)
{
    std::filesystem::create_directories(ImageryFolder);
    for (int level = FinestLevel; level >= CoarsestLevel; --level)
    {
        const int shift = FinestLevel - level;
        for (int32_t row = (ci >> shift) - 4; row <= (ci >> shift) + 4; ++row)
            for (int32_t column = (cj >> shift) - 4; column <= (cj >> shift) + 4; ++column)
            {
                if (!WriteImage(ImageryFileName(level, row, column), 64, 64, level | (((row + column) & 1) << 8), PaintImagery))
                    return false;
            }
    }
    return true;
}

// A box fuselage with wing, tailplane and fin, in the model file's axes: nose towards -x,
// wing along z, +y up. Sizes in metres.
bool WriteModel()
{
    struct Quad
    {
        float v[4][3];
        int material;
    };
    const float n = -0.9f, t = 0.8f, h = 0.08f, w = 0.07f;
    const std::vector<Quad> quads = {
        {{{n, -h, -w}, {t, -h, -w}, {t, h, -w}, {n, h, -w}}, 0},       // fuselage sides
        {{{n, -h, w}, {t, -h, w}, {t, h, w}, {n, h, w}}, 0},
        {{{n, h, -w}, {t, h, -w}, {t, h, w}, {n, h, w}}, 0},           // top and bottom
        {{{n, -h, -w}, {t, -h, -w}, {t, -h, w}, {n, -h, w}}, 0},
        {{{n, -h, -w}, {n, h, -w}, {n, h, w}, {n, -h, w}}, 2},         // nose
        {{{-0.35f, 0.05f, -0.9f}, {-0.1f, 0.05f, -0.9f}, {-0.1f, 0.05f, 0.9f}, {-0.35f, 0.05f, 0.9f}}, 1}, // wing
        {{{0.6f, 0.05f, -0.3f}, {0.8f, 0.05f, -0.3f}, {0.8f, 0.05f, 0.3f}, {0.6f, 0.05f, 0.3f}}, 1},       // tailplane
        {{{0.6f, 0.05f, 0.0f}, {0.8f, 0.05f, 0.0f}, {0.8f, 0.3f, 0.0f}, {0.65f, 0.3f, 0.0f}}, 2},          // fin
    };
    std::filesystem::create_directories(std::filesystem::path(AircraftModelFile).parent_path());
    FILE* file = fopen(AircraftModelFile, "w");
    if (!file)
        return false;
    fprintf(file, "AC3Db\n");
    fprintf(file, "MATERIAL \"body\" rgb 0.9 0.9 0.95  amb 0.5 0.5 0.5  emis 0 0 0  spec 0 0 0  shi 0  trans 0\n");
    fprintf(file, "MATERIAL \"wing\" rgb 0.95 0.8 0.1  amb 0.5 0.5 0.5  emis 0 0 0  spec 0 0 0  shi 0  trans 0\n");
    fprintf(file, "MATERIAL \"red\" rgb 0.9 0.1 0.1  amb 0.5 0.5 0.5  emis 0 0 0  spec 0 0 0  shi 0  trans 0\n");
    fprintf(file, "OBJECT world\nkids %d\n", static_cast<int>(quads.size()));
    for (const Quad& quad : quads)
    {
        fprintf(file, "OBJECT poly\nnumvert 4\n");
        for (const auto& v : quad.v)
            fprintf(file, "%g %g %g\n", v[0], v[1], v[2]);
        fprintf(file, "numsurf 1\nSURF 0x20\nmat %d\nrefs 4\n0 0 0\n1 1 0\n2 1 1\n3 0 1\nkids 0\n", quad.material);
    }
    fclose(file);
    return true;
}

// One circle around the centre, banked into the turn; heading h points the nose along
// (-sin h, cos h) in the map frame, which is the direction of travel.
bool WriteLog(double secondsPerSample)
{
    FILE* file = fopen("flight.log", "w");
    if (!file)
        return false;
    fprintf(file, "samplenumber gps_time gps_curlat gps_curlon gps_curalt gps_curheading pyro_curroll pyro_curpitch\n");
    for (int i = 0; i < SampleCount; ++i)
    {
        const double a = TwoPi * i / SampleCount;
        const double south = CircleRadius * std::cos(a);
        const double east = CircleRadius * std::sin(a);
        const double latitude = CentreLatitude - south / MetresPerDegree;
        const double longitude = CentreLongitude + east / (MetresPerDegree * std::cos(CentreLatitude * Pi / 180.0));
        fprintf(file, "%d %.3f %.6f %.6f %.2f %.4f %.4f %.4f\n", i + 1, i * secondsPerSample, latitude * 60.0, longitude * 60.0,
                FlightHeight + 20.0 * std::sin(2.0 * a), std::fmod(a, TwoPi), 0.35, 0.05);
    }
    fclose(file);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    const double secondsPerSample = argc > 1 ? atof(argv[1]) : 0.5;
    const int32_t ci = static_cast<int32_t>(MercatorY(CentreLatitude) * TileScale);
    const int32_t cj = static_cast<int32_t>(LongitudeX(CentreLongitude) * TileScale);

    std::filesystem::create_directories("res");
    const bool ok = WriteLog(secondsPerSample) && WriteElevationTiles(ci, cj) && WriteImagery(ci, cj) && WriteModel() &&
                    WriteImage(GrassTextureFile, 64, 64, 0, PaintGrass) && WriteImage(AircraftTextureFile, 64, 16, 0, PaintStripes) &&
                    WriteImage(SkyTextureFile, 256, 128, 0, PaintSky);
    return ok ? 0 : 1;
}
