#include "terrain/ElevationTileStore.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace
{

const int32_t ElevationTileCount = ElevationTilesPerAxis * ElevationTilesPerAxis;
const int32_t ElevationGridSize = ElevationTilesPerAxis * ElevationTileSize; // 262144 grid points per axis
const size_t ElevationSampleCount = static_cast<size_t>(ElevationTileSamples) * ElevationTileSamples; // 1050625

// One tile exactly as stored in its file: little-endian 16-bit samples, row by row, 1025
// to a row. The bytes are kept as read and decoded on lookup, so the host's byte order
// never matters.
struct ElevationTile
{
    unsigned char bytes[2 * ElevationSampleCount];
};

// Loaded tiles, indexed TileRow * 256 + TileColumn. An entry is set once and then kept for
// the rest of the run; empty entries are tiles not loaded (yet). The player's terrain builds
// its tiles on the scene graph's loading threads while the display reads heights: an entry
// is published whole (release) and read with acquire, and loads take turns under
// LoadingLock, so a tile is read once however many threads ask for it.
std::atomic<ElevationTile*> ElevationCache[ElevationTileCount];
std::mutex LoadingLock;

// Tiles a quiet lookup could not load, so that the background builder, which looks up every
// vertex, does not open a missing file again for each of them. Loud lookups still try (and
// report) on their own.
std::atomic<bool> QuietlyMissing[ElevationTileCount];

// One byte per tile, 1 once "Not open egm" has been printed for it. Created at the first
// failed open; while it cannot be created, every failed open is reported.
unsigned char* MissingTileFlags = nullptr;
int32_t MissingTileCount = 0; // tiles reported

void ReportMissingTile(int32_t tileIndex, const char* fileName, bool report)
{
    if (!report)
        return;
    if (!MissingTileFlags)
        MissingTileFlags = static_cast<unsigned char*>(std::calloc(ElevationTileCount, 1));
    if (!MissingTileFlags || MissingTileFlags[tileIndex] == 0)
    {
        printf("Not open egm '%s'\n", fileName);
        ++MissingTileCount;
    }
    if (MissingTileFlags)
        MissingTileFlags[tileIndex] = 1;
}

// Reads the tile's file into a new, zeroed tile with one read call. Returns null when the
// file cannot be opened or read (reported once per tile) or memory fails (reported every
// time). A file that merely ends early is a valid tile whose remaining samples are 0.
ElevationTile* LoadTile(int32_t tileRow, int32_t tileColumn, bool report)
{
    const int32_t tileIndex = tileRow * ElevationTilesPerAxis + tileColumn;
    const std::string name = ElevationTileFileName(tileRow, tileColumn);
    const char* fileName = name.c_str();

    FILE* file = std::fopen(fileName, "rb");
    if (!file)
    {
        ReportMissingTile(tileIndex, fileName, report);
        return nullptr;
    }

    // calloc zeroes the tile, which is what a short file needs.
    ElevationTile* tile = static_cast<ElevationTile*>(std::calloc(1, sizeof(ElevationTile)));
    if (!tile)
    {
        if (report)
            printf("Not alloc egm '%s'\n", fileName);
        std::fclose(file);
        return nullptr;
    }

    std::fread(tile->bytes, 2, ElevationSampleCount, file);
    // A read error, such as a directory that happens to carry a tile's name (fopen accepts
    // those on Linux), makes the tile as unusable as a missing file: report it the same way,
    // once, and keep the cache entry empty so that a later lookup tries again.
    const bool readFailed = std::ferror(file) != 0;
    std::fclose(file);
    if (readFailed)
    {
        std::free(tile);
        ReportMissingTile(tileIndex, fileName, report);
        return nullptr;
    }
    return tile;
}

bool HeightAt(int32_t row, int32_t column, int32_t* height, bool report)
{
    *height = 0;
    // Outside the grid there is no tile, and integer division would pick a wrong one.
    if (row < 0 || row >= ElevationGridSize || column < 0 || column >= ElevationGridSize)
        return false;

    const int32_t tileRow = row / ElevationTileSize;
    const int32_t tileColumn = column / ElevationTileSize;
    const int32_t tileIndex = tileRow * ElevationTilesPerAxis + tileColumn;
    std::atomic<ElevationTile*>& entry = ElevationCache[tileIndex];
    ElevationTile* tile = entry.load(std::memory_order_acquire);
    if (!tile && !report && QuietlyMissing[tileIndex].load(std::memory_order_relaxed))
        return false;
    if (!tile)
    {
        std::lock_guard<std::mutex> loading(LoadingLock);
        tile = entry.load(std::memory_order_acquire);
        if (!tile)
            tile = LoadTile(tileRow, tileColumn, report);
        if (!tile)
        {
            if (!report)
                QuietlyMissing[tileIndex].store(true, std::memory_order_relaxed);
            return false;
        }
        entry.store(tile, std::memory_order_release);
    }

    const size_t sample = static_cast<size_t>(row - tileRow * ElevationTileSize) * ElevationTileSamples + (column - tileColumn * ElevationTileSize);
    const int32_t value = tile->bytes[2 * sample] | (tile->bytes[2 * sample + 1] << 8);
    *height = value >= 32768 ? value - 65536 : value; // sign-extend from 16 bits
    return true;
}

} // namespace

bool ElevationAt(int32_t row, int32_t column, int32_t* height)
{
    return HeightAt(row, column, height, true);
}

bool ElevationAtQuietly(int32_t row, int32_t column, int32_t* height)
{
    return HeightAt(row, column, height, false);
}

int32_t ElevationLookup(int32_t row, int32_t column)
{
    int32_t height = 0;
    ElevationAt(row, column, &height);
    return height;
}

void ResetElevationStore()
{
    std::lock_guard<std::mutex> loading(LoadingLock);
    for (std::atomic<ElevationTile*>& entry : ElevationCache)
        std::free(entry.exchange(nullptr));
    for (std::atomic<bool>& missing : QuietlyMissing)
        missing.store(false);
    std::free(MissingTileFlags);
    MissingTileFlags = nullptr;
    MissingTileCount = 0;
}

int32_t MissingElevationTiles()
{
    return MissingTileCount;
}
