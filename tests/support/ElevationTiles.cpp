#include "support/ElevationTiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "geo/ReplayFiles.h"

std::string ElevationTileContent(const TileHeights& height)
{
    std::string bytes(ElevationTileBytes, '\0');
    size_t at = 0;
    for (int32_t r = 0; r < ElevationTileSamples; ++r)
        for (int32_t c = 0; c < ElevationTileSamples; ++c)
        {
            const uint16_t sample = static_cast<uint16_t>(static_cast<int16_t>(height(r, c)));
            bytes[at++] = static_cast<char>(sample & 0xFF);
            bytes[at++] = static_cast<char>(sample >> 8);
        }
    return bytes;
}

bool WriteElevationTile(int32_t tileRow, int32_t tileColumn, const TileHeights& height)
{
    const std::string name = ElevationTileFileName(tileRow, tileColumn);
    const std::string bytes = ElevationTileContent(height);
    FILE* file = fopen(name.c_str(), "wb");
    const bool written = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if ((file && fclose(file) != 0) || !written)
    {
        fprintf(stderr, "cannot write %s: %s\n", name.c_str(), strerror(errno));
        return false;
    }
    return true;
}
