#include <cmath>
#include <cstdio>
#include <string>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <osg/Image>
#include <osgDB/ReadFile>

#include "support/DataToolSupport.h"
#include "geo/GeoTiles.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "support/GeoTiffFiles.h"
#include "support/SceneFiles.h"

namespace
{

// The zoom-18 tile that holds 47 N 8 E, and a box well inside it: one tile per level.
const int32_t Row18 = static_cast<int32_t>(MercatorY(47.0) * TileScale);
const int32_t Column18 = static_cast<int32_t>(LongitudeX(8.0) * TileScale);

std::string InnerBox()
{
    char box[128];
    snprintf(box, sizeof box, "%.9f,%.9f,%.9f,%.9f", GridRowLatitude(Row18 + 0.75), GridColumnLongitude(Column18 + 0.25), GridRowLatitude(Row18 + 0.25), GridColumnLongitude(Column18 + 0.75));
    return box;
}

int32_t RowAt(int32_t level)
{
    return Row18 >> (FinestLevel - level);
}

int32_t ColumnAt(int32_t level)
{
    return Column18 >> (FinestLevel - level);
}

osg::Vec3 LevelColour(int32_t level)
{
    return osg::Vec3((level - 12) * 40.0f, 255.0f - (level - 12) * 40.0f, 60.0f) / 255.0f;
}

const osg::Vec3 DecoyColour(1.0f, 1.0f, 1.0f);

std::string EncodedSolid(const osg::Vec3& colour, const char* extension)
{
    auto byte = [&](int k) { return static_cast<unsigned char>(colour[k] * 255.0f + 0.5f); };
    const std::string bytes = EncodedImage(ImageryTilePixels, ImageryTilePixels, SolidColour(byte(0), byte(1), byte(2)), extension);
    EXPECT_FALSE(bytes.empty()) << "no " << extension << " writer";
    return bytes;
}

// The colour at (s, t) of an image file the way the viewer reads it; t grows northwards.
osg::Vec3 ColourOf(const std::string& name, int s = 128, int t = 128)
{
    osg::ref_ptr<osg::Image> image = osgDB::readImageFile(name);
    if (!image)
        return osg::Vec3(-1, -1, -1);
    const osg::Vec4 colour = image->getColor(s, t);
    return osg::Vec3(colour.r(), colour.g(), colour.b());
}

void ExpectColour(const osg::Vec3& actual, const osg::Vec3& expected, const std::string& what)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(actual[k], expected[k], 0.04) << what << " channel " << k;
}

void ExpectEveryLevelUnderItsProgramName(const std::string& out)
{
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        const std::string name = ImageryFileName(level, RowAt(level), ColumnAt(level));
        ASSERT_FALSE(ReadWholeFile(name).empty()) << name << "\n" << out;
        const std::string bytes = DataToolFixture::ReadText(name);
        EXPECT_EQ(bytes.compare(0, 2, "\xFF\xD8"), 0) << name << " is a JPEG";
        ExpectColour(ColourOf(name), LevelColour(level), name);
    }
}

} // namespace

class ImageryImportTest : public DataToolFixture
{
};

TEST_F(ImageryImportTest, XyzFolderTilesLandUnderRowThenColumnNames)
{
    for (int32_t level = CoarsestLevel; level <= FinestLevel; ++level)
    {
        // z/x/y: the column names the folder, the row the file.
        WriteText("xyz/" + std::to_string(level) + "/" + std::to_string(ColumnAt(level)) + "/" + std::to_string(RowAt(level)) + (level % 2 ? ".png" : ".jpg"), EncodedSolid(LevelColour(level), level % 2 ? "png" : "jpg"));
        // Where a swapped row and column would look.
        WriteText("xyz/" + std::to_string(level) + "/" + std::to_string(RowAt(level)) + "/" + std::to_string(ColumnAt(level)) + ".png", EncodedSolid(DecoyColour, "png"));
    }
    std::string out, err;
    ASSERT_EQ(RunTool({"imagery", "xyz", "--bbox", InnerBox()}, &out, &err), 0) << out << err;
    ExpectEveryLevelUnderItsProgramName(out);
}

TEST_F(ImageryImportTest, TmsFolderRowsCountFromTheSouth)
{
    for (int32_t level = CoarsestLevel; level <= FinestLevel; ++level)
    {
        const int32_t southRow = (1 << level) - 1 - RowAt(level);
        WriteText("tms/" + std::to_string(level) + "/" + std::to_string(ColumnAt(level)) + "/" + std::to_string(southRow) + ".png", EncodedSolid(LevelColour(level), "png"));
        WriteText("tms/" + std::to_string(level) + "/" + std::to_string(ColumnAt(level)) + "/" + std::to_string(RowAt(level)) + ".png", EncodedSolid(DecoyColour, "png"));
    }
    std::string out, err;
    ASSERT_EQ(RunTool({"imagery", "tms", "--tms", "--bbox", InnerBox()}, &out, &err), 0) << out << err;
    ExpectEveryLevelUnderItsProgramName(out);
}

TEST_F(ImageryImportTest, MBTilesTilesComeFromTheirTmsRows)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("SQLite");
    ASSERT_NE(driver, nullptr);
    GDALDataset* file = driver->Create("world.mbtiles", 0, 0, 0, GDT_Unknown, nullptr);
    ASSERT_NE(file, nullptr);
    file->ExecuteSQL("CREATE TABLE metadata (name TEXT, value TEXT)", nullptr, nullptr);
    file->ExecuteSQL("INSERT INTO metadata VALUES ('format', 'png')", nullptr, nullptr);
    file->ExecuteSQL("CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB)", nullptr, nullptr);
    auto insert = [&](int32_t level, int32_t column, int32_t row, const std::string& bytes) {
        std::string hex;
        char digits[3];
        for (unsigned char c : bytes)
        {
            snprintf(digits, sizeof digits, "%02X", c);
            hex += digits;
        }
        const std::string sql = "INSERT INTO tiles VALUES (" + std::to_string(level) + ", " + std::to_string(column) + ", " + std::to_string(row) + ", X'" + hex + "')";
        file->ExecuteSQL(sql.c_str(), nullptr, nullptr);
    };
    for (int32_t level = CoarsestLevel; level <= FinestLevel; ++level)
    {
        insert(level, ColumnAt(level), (1 << level) - 1 - RowAt(level), EncodedSolid(LevelColour(level), level == 15 ? "jpg" : "png"));
        insert(level, ColumnAt(level), RowAt(level), EncodedSolid(DecoyColour, "png"));
    }
    GDALClose(file);

    std::string out, err;
    ASSERT_EQ(RunTool({"imagery", "world.mbtiles", "--bbox", InnerBox()}, &out, &err), 0) << out << err;
    ExpectEveryLevelUnderItsProgramName(out);
}

TEST_F(ImageryImportTest, GeoreferencedImageIsWarpedNorthUp)
{
    // An RGB image in degrees around the level-13 tile: green north of the tile's middle
    // latitude, red south of it.
    const int32_t row13 = RowAt(13), column13 = ColumnAt(13);
    const double north = GridRowLatitude(row13 * 32.0) + 0.05, south = GridRowLatitude((row13 + 1) * 32.0) - 0.05;
    const double west = GridColumnLongitude(column13 * 32.0) - 0.05, east = GridColumnLongitude((column13 + 1) * 32.0) + 0.05;
    const double middle = GridRowLatitude((row13 + 0.5) * 32.0);
    const double pixel = 0.0005;
    const GeoTiffGrid photo{west, north, pixel, static_cast<int>((east - west) / pixel), static_cast<int>((north - south) / pixel)};
    WriteGeoTiff("photo.tif", photo, GDT_Byte, 3, [&](int b, int r, int) {
        const bool northern = photo.Latitude(r) > middle;
        return b == 1 ? (northern ? 0 : 255) : (b == 2 ? (northern ? 255 : 0) : 0);
    });

    std::string out, err;
    ASSERT_EQ(RunTool({"imagery", "photo.tif", "--bbox", InnerBox()}, &out, &err), 0) << out << err;
    const std::string name = ImageryFileName(13, row13, column13);
    ASSERT_TRUE(Exists(name)) << out;
    ExpectColour(ColourOf(name, 128, 250), osg::Vec3(0, 1, 0), "north edge of " + name);
    ExpectColour(ColourOf(name, 128, 5), osg::Vec3(1, 0, 0), "south edge of " + name);

    EXPECT_EQ(RunTool({"imagery", "photo.tif", "--bbox", "-10,20,-9.99,20.01"}, &out, &err), ExitBadInput);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST_F(ImageryImportTest, NoDataIsLeftOutNotDrawnBlack)
{
    // A hillshade over the level-13 tile, grey in the half away from the finer tiles and
    // no-data (0) in theirs, with a margin so that no finer tile has a pixel of data.
    const int32_t row13 = RowAt(13), column13 = ColumnAt(13);
    const double north = GridRowLatitude(row13 * 32.0) + 0.05, south = GridRowLatitude((row13 + 1) * 32.0) - 0.05;
    const double west = GridColumnLongitude(column13 * 32.0) - 0.05, east = GridColumnLongitude((column13 + 1) * 32.0) + 0.05;
    const double middle = GridRowLatitude((row13 + 0.5) * 32.0);
    const bool finerInNorth = Row18 < (row13 + 0.5) * 32.0;
    const double pixel = 0.0005;
    const GeoTiffGrid shade{west, north, pixel, static_cast<int>((east - west) / pixel), static_cast<int>((north - south) / pixel)};
    WriteGeoTiff("shade.tif", shade, GDT_Byte, 1, [&](int, int r, int) { return (shade.Latitude(r) - middle) * (finerInNorth ? 1 : -1) < -0.01 ? 200 : 0; }, 0.0);

    std::string out, err;
    ASSERT_EQ(RunTool({"imagery", "shade.tif", "--bbox", InnerBox()}, &out, &err), 0) << out << err;
    EXPECT_TRUE(Exists(ImageryFileName(13, row13, column13))) << out;
    for (int32_t level = 14; level <= FinestLevel; ++level)
        EXPECT_FALSE(Exists(ImageryFileName(level, RowAt(level), ColumnAt(level)))) << level << "\n" << out;
}

TEST_F(ImageryImportTest, UnreadableSourceFailsWithOneLine)
{
    WriteText("nothing.mbtiles", "no database");
    std::string out, err;
    EXPECT_EQ(RunTool({"imagery", "nothing.mbtiles", "--bbox", InnerBox()}, &out, &err), ExitBadInput);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_FALSE(Exists("img"));
}
