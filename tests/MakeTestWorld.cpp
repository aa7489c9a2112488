// Writes a small, complete working directory for the windowed viewer test: a circling
// flight log, the elevation tiles and imagery the rings read around the frame the viewer
// fixes on that log (a hill among the heights), the grass fallback, the sky texture, the
// aircraft model and the shape aircraft's texture.
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

#include "flight/LoadedFlight.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "log/LogWriter.h"
#include "support/ElevationTiles.h"
#include "support/SceneFiles.h"
#include "terrain/RingTiles.h"

namespace
{
const double CentreLatitude = 46.5;  // degrees
const double CentreLongitude = 7.5;  // degrees
const double MetresPerDegree = 111320.0;
const double CircleRadius = 400.0;   // metres
const double BaseHeight = 400.0;     // metres, the plain around the hill
const double FlightHeight = 550.0;   // metres
const int SampleCount = 120;

const char* const LogName = "flight.log";

// Fields of a level-dependent hue, with a dark border so that tile edges show; neighbouring
// tiles differ in shade.
PixelPainter PaintImagery(const ImageryTileId& tile, int size)
{
    const int level = tile.level;
    const bool odd = ((tile.row + tile.column) & 1) != 0;
    return [=](int x, int y, unsigned char* rgb) {
        const bool border = x < 2 || y < 2 || x >= size - 2 || y >= size - 2;
        const bool stripe = ((x + y) / 8) % 2 == 0;
        rgb[0] = static_cast<unsigned char>(border ? 40 : 60 + (18 - level) * 25 + (odd ? 30 : 0));
        rgb[1] = static_cast<unsigned char>(border ? 40 : (stripe ? 150 : 120));
        rgb[2] = static_cast<unsigned char>(border ? 40 : 50 + (odd ? 40 : 0));
    };
}

void PaintGrass(int x, int y, unsigned char* rgb)
{
    rgb[0] = static_cast<unsigned char>(50 + (x * 7 + y * 13) % 30);
    rgb[1] = static_cast<unsigned char>(120 + (x * 11 + y * 5) % 40);
    rgb[2] = 40;
}

// Row 0 is the bottom of the sphere: haze below the horizon, blue deepening upwards, and
// a band of soft clouds so that turning the camera shows.
PixelPainter PaintSky(int width, int height)
{
    return [=](int x, int y, unsigned char* rgb) {
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
    };
}

PixelPainter PaintStripes(int width)
{
    return [=](int x, int, unsigned char* rgb) {
        const bool orange = (x * 8 / width) % 2 == 0;
        rgb[0] = 250;
        rgb[1] = static_cast<unsigned char>(orange ? 120 : 250);
        rgb[2] = static_cast<unsigned char>(orange ? 20 : 250);
    };
}

// A hill of 300 m, 8 zoom-18 tiles north-east of the map frame's tile.
int32_t Height(const MapFrameValues& frame, double row, double column)
{
    const double hillRow = frame.CI - 8.0;
    const double hillColumn = frame.CJ + 8.0;
    const double d2 = (row - hillRow) * (row - hillRow) + (column - hillColumn) * (column - hillColumn);
    return static_cast<int32_t>(BaseHeight + 300.0 * std::exp(-d2 / (2.0 * 6.0 * 6.0)));
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
    const std::vector<LogColumn> columns = {{ColumnKind::samplenumber, 0}, {ColumnKind::gps_time, 3}, {ColumnKind::gps_curlat, 6}, {ColumnKind::gps_curlon, 6},
        {ColumnKind::gps_curalt, 2}, {ColumnKind::gps_curheading, 4}, {ColumnKind::pyro_curroll, 4}, {ColumnKind::pyro_curpitch, 4}};
    std::string text = LogHeaderLine(columns);
    for (int i = 0; i < SampleCount; ++i)
    {
        const double a = TwoPi * i / SampleCount;
        const double south = CircleRadius * std::cos(a);
        const double east = CircleRadius * std::sin(a);
        SampleRow row = {};
        row.samplenumber = i + 1;
        row.gps_time = i * secondsPerSample;
        row.gps_curlat = (CentreLatitude - south / MetresPerDegree) * 60.0;
        row.gps_curlon = (CentreLongitude + east / (MetresPerDegree * std::cos(CentreLatitude * Pi / 180.0))) * 60.0;
        row.gps_curalt = FlightHeight + 20.0 * std::sin(2.0 * a);
        row.gps_curheading = std::fmod(a, TwoPi);
        row.pyro_curroll = 0.35;
        row.pyro_curpitch = 0.05;
        AppendLogLine(&text, row, columns);
    }
    FILE* file = fopen(LogName, "w");
    const bool written = file && fwrite(text.data(), 1, text.size(), file) == text.size();
    return (file ? fclose(file) == 0 : false) && written;
}
} // namespace

int main(int argc, char** argv)
{
    const double secondsPerSample = argc > 1 ? atof(argv[1]) : 0.5;

    // The tiles are those the rings read around the frame the viewer will fix on this log:
    // the log is read back as the viewer reads it, so the frame comes from its digits.
    LoadedFlight flight;
    if (!WriteLog(secondsPerSample) || LoadFlight(LogName, nullptr, FlightFiles::Refuse, LoadReport::Quiet, &flight) != 0)
    {
        fprintf(stderr, "cannot write or read back %s\n", LogName);
        return 1;
    }
    const MapFrameValues frame = flight.Frame();
    bool ok = true;
    for (const ElevationTileId& tile : RingElevationTiles(frame.CI, frame.CJ))
        ok = ok && WriteElevationTile(tile.tileRow, tile.tileColumn, [&](int32_t r, int32_t c) {
            return Height(frame, static_cast<double>(tile.tileRow) * ElevationTileSize + r, static_cast<double>(tile.tileColumn) * ElevationTileSize + c);
        });
    for (const ImageryTileId& tile : RingImageryTiles(frame.CI, frame.CJ))
        ok = ok && WriteImage(ImageryFileName(tile), 64, 64, PaintImagery(tile, 64));
    ok = ok && WriteModel() && WriteImage(GrassTextureFile, 64, 64, PaintGrass) && WriteImage(AircraftTextureFile, 64, 16, PaintStripes(64)) &&
         WriteImage(SkyTextureFile, 256, 128, PaintSky(256, 128));
    return ok ? 0 : 1;
}
