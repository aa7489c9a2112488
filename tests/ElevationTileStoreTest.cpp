#include <climits>

#include "TerrainTestSupport.h"

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

TEST_F(ElevationTileStoreTest, ShortFileLeavesTheRestZero)
{
    std::vector<unsigned char> bytes(1000);
    for (size_t n = 0; n < bytes.size(); n += 2)
        bytes[n] = static_cast<unsigned char>(n / 2 % 250 + 1); // samples 1 .. 250, never 0
    WriteBytes(ElevationTileFileName(1, 2), bytes);
    EXPECT_EQ(ElevationLookup(1024, 2048 + 0), 1);
    EXPECT_EQ(ElevationLookup(1024, 2048 + 499), 250);
    EXPECT_EQ(ElevationLookup(1024, 2048 + 500), 0);
    EXPECT_EQ(ElevationLookup(1024 + 1, 2048), 0); // sample 1025
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
    std::filesystem::create_directory(ElevationTileFileName(1, 1));
    BeginCapture();
    const int32_t heights[] = {ElevationLookup(1024 + 5, 1024 + 6), ElevationLookup(1024 + 7, 1024 + 8)};
    EXPECT_EQ(EndCapture(), "Not open egm 'zsi-1-1.egm'\n");
    EXPECT_EQ(heights[0] | heights[1], 0);
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
