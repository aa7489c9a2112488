#include "worldgen/ElevationTiles.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>

#include "geo/MapProjection.h"
#include "worldgen/Landscape.h"
#include "worldgen/WorldSite.h"

static int16_t ToSample(double height)
{
    return static_cast<int16_t>(std::clamp(std::lround(height), -32768L, 32767L));
}

int16_t ElevationSample(const Landscape& landscape, int32_t row, int32_t column)
{
    return ToSample(landscape.Height(EastOfLongitude(GridColumnLongitude(column)), NorthOfLatitude(GridRowLatitude(row))));
}

bool WriteElevationFile(const Landscape& landscape, const ElevationTileId& tile, const std::string& folder)
{
    const std::string path = folder + "/" + ElevationTileFileName(tile.tileRow, tile.tileColumn);
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
    {
        printf("Cannot write '%s'\n", path.c_str());
        return false;
    }
    std::vector<double> east(ElevationTileSamples);
    for (int32_t c = 0; c < ElevationTileSamples; ++c)
        east[c] = EastOfLongitude(GridColumnLongitude(tile.tileColumn * ElevationTileSize + c));
    std::vector<unsigned char> line(ElevationTileSamples * 2);
    bool ok = true;
    for (int32_t r = 0; r < ElevationTileSamples && ok; ++r)
    {
        const double north = NorthOfLatitude(GridRowLatitude(tile.tileRow * ElevationTileSize + r));
        for (int32_t c = 0; c < ElevationTileSamples; ++c)
        {
            // Little-endian whatever the machine: the format fixes the byte order.
            const uint16_t bits = static_cast<uint16_t>(ToSample(landscape.Height(east[c], north)));
            line[c * 2] = static_cast<unsigned char>(bits & 0xFF);
            line[c * 2 + 1] = static_cast<unsigned char>(bits >> 8);
        }
        ok = fwrite(line.data(), 1, line.size(), out) == line.size();
    }
    ok = (fclose(out) == 0) && ok;
    if (!ok)
        printf("Cannot write '%s'\n", path.c_str());
    return ok;
}

bool WriteElevationFiles(const Landscape& landscape, const std::vector<ElevationTileId>& tiles,
                         const std::string& folder, int threads)
{
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&]() {
        for (size_t index = next++; index < tiles.size() && !failed; index = next++)
            if (!WriteElevationFile(landscape, tiles[index], folder))
                failed = true;
    };
    std::vector<std::thread> workers;
    for (int t = 1; t < std::min<int>(std::max(threads, 1), static_cast<int>(tiles.size())); ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    return !failed;
}
