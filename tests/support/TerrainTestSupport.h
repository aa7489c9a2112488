#pragma once
// Shared by the terrain tests: a scratch working directory, elevation tiles in which every
// sample differs, and a capture of standard output.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "geo/ReplayFiles.h"
#include "support/ElevationTiles.h"
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

inline void WriteBytes(const std::string& fileName, const std::vector<unsigned char>& bytes)
{
    WriteWholeFile(fileName, std::string(bytes.begin(), bytes.end()));
}

// A whole tile of TileSampleHeight.
inline void WriteDistinctTile(int32_t tileRow, int32_t tileColumn)
{
    ASSERT_TRUE(WriteElevationTile(tileRow, tileColumn, [=](int32_t r, int32_t c) { return TileSampleHeight(tileRow, tileColumn, r, c); }));
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
