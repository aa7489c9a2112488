#include <algorithm>
#include <climits>

#include "support/TerrainTestSupport.h"

using ElevationTileStoreTest = TerrainFixture;

TEST_F(ElevationTileStoreTest, LooksUpTheRightSampleAcrossTileSeams)
{
    for (const auto& tile : {std::make_pair(3, 7), std::make_pair(4, 7), std::make_pair(3, 8), std::make_pair(4, 8)})
        WriteDistinctTile(tile.first, tile.second);
    const int32_t r = 3 * 1024;
    const int32_t c = 7 * 1024;
    // Inside; last row, then the row 0 below; last column, then column 0 to the east; the corner.
    const int32_t points[][2] = {{r + 428, c + 32}, {r + 1023, c + 5}, {r + 1024, c + 5}, {r + 9, c + 1023}, {r + 9, c + 1024}, {r + 1023, c + 1023}, {r + 1024, c + 1027}};
    for (const auto& p : points)
        EXPECT_EQ(ElevationLookup(p[0], p[1]), GridHeight(p[0], p[1])) << p[0] << "," << p[1];
}

TEST_F(ElevationTileStoreTest, DecodesLittleEndianSignedSamplesAndRawBytes)
{
    // CR LF and the DOS end-of-file byte are plain data in a binary read.
    WriteBytes(ElevationTileFileName(0, 0), {0x38, 0xFF, 0x0D, 0x0A, 0x1A, 0x00, 0x00, 0x1A, 0xFF, 0x7F, 0x00, 0x80});
    const int32_t expected[] = {-200, 0x0A0D, 0x1A, 0x1A00, 32767, -32768};
    for (int32_t c = 0; c < 6; ++c)
        EXPECT_EQ(ElevationLookup(0, c), expected[c]) << c;
}

TEST_F(ElevationTileStoreTest, FileOfAnySizeIsReadAsFarAsItGoesWithoutReport)
{
    // Sample n holds -1 - n % 3000. Files shorter than a tile leave the rest 0; a longer one
    // is read to the tile's size. The half sample of an odd size is left unchecked, and so
    // are the last row and column, which lookups take from the neighbours' first.
    const size_t samples = static_cast<size_t>(ElevationTileSamples) * ElevationTileSamples;
    auto height = [](size_t n) { return -1 - static_cast<int32_t>(n % 3000); };
    for (const size_t size : {size_t(0), size_t(1), size_t(1000), ElevationTileBytes - 1, size_t(3) << 20})
    {
        SCOPED_TRACE(std::to_string(size) + " bytes");
        ResetElevationStore();
        std::string bytes(size, '\0');
        for (size_t n = 0; 2 * n + 1 < size; ++n)
        {
            bytes[2 * n] = static_cast<char>(height(n) & 0xFF);
            bytes[2 * n + 1] = static_cast<char>((height(n) >> 8) & 0xFF);
        }
        WriteWholeFile(ElevationTileFileName(1, 2), bytes);
        const size_t whole = std::min(size / 2, samples);
        BeginCapture();
        for (const size_t n : {size_t(0), size_t(499), size_t(500), size_t(1025), whole - 1, whole, samples - 1027})
        {
            if (n >= samples || n / 1025 == 1024 || n % 1025 == 1024 || (n == size / 2 && size % 2 == 1))
                continue;
            EXPECT_EQ(ElevationLookup(1024 + static_cast<int32_t>(n / 1025), 2048 + static_cast<int32_t>(n % 1025)), n < whole ? height(n) : 0) << "sample " << n;
        }
        EXPECT_EQ(EndCapture(), "");
    }
}

TEST_F(ElevationTileStoreTest, TileIsReadOnceAndKept)
{
    WriteDistinctTile(2, 2);
    EXPECT_EQ(ElevationLookup(2048 + 1, 2048 + 2), GridHeight(2048 + 1, 2048 + 2));
    std::filesystem::remove(ElevationTileFileName(2, 2)); // from now on only memory can answer
    BeginCapture();
    const int32_t again = ElevationLookup(2048 + 1023, 2048 + 7);
    EXPECT_EQ(EndCapture(), "");
    EXPECT_EQ(again, GridHeight(2048 + 1023, 2048 + 7));
}

TEST_F(ElevationTileStoreTest, MissingTileIsReportedOnceAndRetried)
{
    BeginCapture();
    const int32_t heights[] = {ElevationLookup(3 * 1024 + 428, 7 * 1024 + 32), ElevationLookup(3 * 1024, 7 * 1024), ElevationLookup(7 * 1024 + 1, 3 * 1024 + 1)};
    EXPECT_EQ(EndCapture(), "Not open egm 'zsi-3-7.egm'\nNot open egm 'zsi-7-3.egm'\n");
    EXPECT_EQ(heights[0] | heights[1] | heights[2], 0);

    // A miss is not remembered as a tile: one that appears later is loaded.
    WriteDistinctTile(3, 7);
    EXPECT_EQ(ElevationLookup(3 * 1024 + 428, 7 * 1024 + 32), GridHeight(3 * 1024 + 428, 7 * 1024 + 32));
}

TEST_F(ElevationTileStoreTest, DirectoryNamedLikeTileIsMissingTile)
{
    for (const bool empty : {true, false})
    {
        SCOPED_TRACE(empty ? "empty folder" : "folder with a file in it");
        ResetElevationStore();
        std::filesystem::remove_all(ElevationTileFileName(1, 1));
        if (empty)
            std::filesystem::create_directory(ElevationTileFileName(1, 1));
        else
            WriteWholeFile(ElevationTileFileName(1, 1) + "/readme.txt", "not a tile\n");
        BeginCapture();
        const int32_t heights[] = {ElevationLookup(1024 + 5, 1024 + 6), ElevationLookup(1024 + 7, 1024 + 8), ElevationLookup(2047, 2047)};
        EXPECT_EQ(EndCapture(), "Not open egm 'zsi-1-1.egm'\n");
        EXPECT_EQ(heights[0] | heights[1] | heights[2], 0);
    }
}

TEST_F(ElevationTileStoreTest, PointsOutsideTheGridReadZeroSilently)
{
    // Integer division would put these in the corner tiles, which exist here.
    for (const int32_t tile : {0, 255 * 256, 255, 255 * 256 + 255})
        WriteDistinctTile(tile / 256, tile % 256);
    BeginCapture();
    const int32_t points[][2] = {{-1, 5}, {5, -1}, {262144, 5}, {5, 262144}, {262143 + 1024, 262143}, {INT_MIN, INT_MIN}, {INT_MAX, 0}};
    for (const auto& p : points)
        EXPECT_EQ(ElevationLookup(p[0], p[1]), 0) << p[0] << "," << p[1];
    EXPECT_EQ(EndCapture(), "");
    EXPECT_EQ(ElevationLookup(262143, 262143), GridHeight(262143, 262143));
}
