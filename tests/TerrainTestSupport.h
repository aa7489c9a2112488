#pragma once
// Shared by the terrain tests: a scratch working directory, elevation tiles in which every
// sample differs, and a capture of standard output.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "terrain/ElevationTileStore.h"

// Height stored at sample (r, c) of tile (tileRow, tileColumn). It depends on the tile too,
// so a row 1024 read in place of the next tile's row 0 shows, and it runs negative.
inline int32_t TileSampleHeight(int32_t tileRow, int32_t tileColumn, int32_t r, int32_t c)
{
    return (r * 37 + c * 11 + tileRow * 7 + tileColumn * 3) % 4001 - 2000;
}

// What a lookup must give at zoom-18 grid point (row, column) of a written tile.
inline int32_t GridHeight(int64_t row, int64_t column)
{
    return TileSampleHeight(row / 1024, column / 1024, row % 1024, column % 1024);
}

inline std::string TileFileName(int32_t tileRow, int32_t tileColumn)
{
    return "zsi-" + std::to_string(tileRow) + "-" + std::to_string(tileColumn) + ".egm";
}

inline void WriteBytes(const std::string& fileName, const std::vector<unsigned char>& bytes)
{
    WriteWholeFile(fileName, std::string(bytes.begin(), bytes.end()));
}

// A full 1025 x 1025 tile of TileSampleHeight, little-endian.
inline void WriteElevationTile(int32_t tileRow, int32_t tileColumn)
{
    std::vector<unsigned char> bytes;
    for (int32_t r = 0; r < 1025; ++r)
        for (int32_t c = 0; c < 1025; ++c)
        {
            const uint16_t v = static_cast<uint16_t>(TileSampleHeight(tileRow, tileColumn, r, c));
            bytes.insert(bytes.end(), {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>(v >> 8)});
        }
    WriteBytes(TileFileName(tileRow, tileColumn), bytes);
}

// Runs each test in a fresh working directory with an empty elevation store.
class TerrainFixture : public ScratchWorkingDirectoryTest
{
protected:
    void SetUp() override { ResetElevationStore(); }
    void TearDown() override { ResetElevationStore(); }

    void BeginCapture() { capture.emplace(); }

    // Everything printed since BeginCapture.
    std::string EndCapture()
    {
        const std::string text = capture->Finish();
        capture.reset();
        return text;
    }

private:
    std::optional<OutputCapture> capture;
};
