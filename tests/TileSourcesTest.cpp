#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <osgDB/ReaderWriter>
#include <osgDB/Registry>

#include "geo/GeoTiles.h"
#include "support/SceneFiles.h"
#include "support/TestSupport.h"
#include "world/DemImport.h"
#include "world/TileCache.h"
#include "world/TileFetch.h"
#include "world/TileSources.h"

namespace fs = std::filesystem;

namespace
{

std::string KindName(const std::string& location, SourceRole role)
{
    const SourceKind* kind = SourceKindOf(location, role);
    return kind ? kind->name : "none";
}

// Every file and folder under the path, for what a run left there.
std::vector<std::string> Entries(const std::string& path)
{
    std::vector<std::string> entries;
    std::error_code failure;
    for (fs::recursive_directory_iterator it(path, failure), end; !failure && it != end; it.increment(failure))
        entries.push_back(it->path().string());
    return entries;
}

} // namespace

// Each form of path and URL the commands and the environment take lands on its kind: a
// folder that happens to end in .mbtiles is still a folder, and a URL is never read as a
// local raster where remote imagery is meant.
TEST(TileSourcesTest, KindsAreRecognisedByTheirPathOrUrl)
{
    ScratchDirectory scratch;
    scratch.MakeDirectory("tiles");
    scratch.MakeDirectory("odd.mbtiles");
    EXPECT_EQ(KindName(scratch.PathOf("tiles"), SourceRole::Imagery), "tile folder");
    EXPECT_EQ(KindName(scratch.PathOf("odd.mbtiles"), SourceRole::Imagery), "tile folder");
    EXPECT_EQ(KindName(scratch.PathOf("site.MBTiles"), SourceRole::Imagery), "MBTiles file");
    EXPECT_EQ(KindName(scratch.PathOf("ortho.tif"), SourceRole::Imagery), "raster");
    EXPECT_EQ(KindName("http://tiles.test/{z}/{x}/{y}.jpg", SourceRole::RemoteImagery), "XYZ tiles");
    EXPECT_EQ(KindName("https://tiles.test/wmts/g/{z}/{y}/{x}.png", SourceRole::RemoteImagery), "XYZ tiles");
    EXPECT_EQ(KindName("http://tiles.test/{x}/{y}.jpg", SourceRole::RemoteImagery), "none");
    EXPECT_EQ(KindName("http://dem.test/{tile}/{tile}.tif", SourceRole::RemoteElevation), "elevation squares");

    // A path that is none of the local kinds fails with the line the imagery command prints.
    std::string reason;
    SourceAddress address;
    address.location = scratch.PathOf("missing.tif");
    EXPECT_EQ(OpenTileSource(address, &reason), nullptr);
    EXPECT_EQ(reason.rfind("cannot read '" + address.location + "' as a georeferenced image, MBTiles file or tile folder: ", 0), 0u) << reason;
    address.location = scratch.PathOf("empty.mbtiles");
    WriteWholeFile(address.location, "");
    EXPECT_EQ(OpenTileSource(address, &reason), nullptr);
    EXPECT_EQ(reason.rfind("cannot read '" + address.location + "' as an MBTiles file: ", 0), 0u) << reason;
}

// The XYZ imagery of the test's server address, kept in `cache`, deepest at `maxZoom`.
std::unique_ptr<RemoteImagery> TestImagery(const TileCache& cache, int maxZoom)
{
    SourceAddress address;
    address.cache = &cache;
    address.maxZoom = maxZoom;
    address.location = "http://tiles.test/{z}/{x}/{y}.jpg";
    std::string reason;
    std::unique_ptr<RemoteImagery> imagery = OpenRemoteImagery(address, &reason);
    EXPECT_NE(imagery, nullptr) << reason;
    return imagery;
}

// The files a remote source's tiles are kept in are those older versions wrote: a cache
// filled by them is read, not fetched again. The folder's name is the template's FNV-1a hash.
TEST(TileSourcesTest, CachePathsKeepTheLayoutOfExistingCaches)
{
    const TileCache cache("/srv/cache", false);
    const std::unique_ptr<RemoteImagery> imagery = TestImagery(cache, 13);
    ASSERT_NE(imagery, nullptr);
    const std::string folder = "/srv/cache/imagery/cccb34e2f69b29b7/";

    // At the source's finest zoom a tile is its own source tile.
    SourceFile file = imagery->FileOf(ImageryTileId{13, 2901, 4277});
    EXPECT_EQ(file.url, "http://tiles.test/13/4277/2901.jpg");
    EXPECT_EQ(file.file, folder + "13/4277/2901.tile");
    EXPECT_EQ(file.absentFile, folder + "13/4277/2901.absent");
    // Finer levels come from the zoom-13 tile that holds them.
    file = imagery->FileOf(ImageryTileId{15, 4 * 2901 + 3, 4 * 4277 + 1});
    EXPECT_EQ(file.url, "http://tiles.test/13/4277/2901.jpg");
    EXPECT_EQ(file.file, folder + "13/4277/2901.tile");
    // A column past the grid's east end is the tile a turn round.
    file = imagery->FileOf(ImageryTileId{13, 2901, (1 << 13) + 5});
    EXPECT_EQ(file.file, folder + "13/5/2901.tile");

    // An elevation tile across a whole degree of longitude meets two squares: a window of each.
    SourceAddress address;
    address.cache = &cache;
    address.location = "http://dem.test/{tile}/{tile}.tif";
    std::string reason;
    const std::unique_ptr<RemoteElevation> elevation = OpenRemoteElevation(address, &reason);
    ASSERT_NE(elevation, nullptr) << reason;
    // The first tile from row 93 on that lies across a degree of longitude but not of latitude.
    const auto acrossOneMeridian = [](ElevationTileId candidate) {
        const GeoBox box = BoxOfElevationTile(candidate);
        return std::floor(box.west) != std::floor(box.east) && std::floor(box.south) == std::floor(box.north);
    };
    ElevationTileId tile = {93, 0};
    while (!acrossOneMeridian(tile))
        if (++tile.tileColumn == 1024)
            tile = ElevationTileId{tile.tileRow + 1, 0};
    const GeoBox box = BoxOfElevationTile(tile);
    const std::vector<SourceFile> windows = elevation->FilesOf(tile);
    ASSERT_EQ(windows.size(), 2u);
    const std::string tileName = std::to_string(tile.tileRow) + "-" + std::to_string(tile.tileColumn);
    const int south = static_cast<int>(std::floor(box.south)), west = static_cast<int>(std::floor(box.west));
    for (int i = 0; i < 2; ++i)
    {
        const std::string square = DemSquareName(south, west + i);
        EXPECT_EQ(windows[i].url, "http://dem.test/" + square + "/" + square + ".tif");
        EXPECT_EQ(windows[i].file, "/srv/cache/dem/241564d608c08cb6/" + square + "/" + tileName + ".tif");
        EXPECT_EQ(windows[i].absentFile, "/srv/cache/dem/241564d608c08cb6/" + square + "/" + tileName + ".sea.tif");
    }
    // The windows split the tile at the degree between them.
    EXPECT_DOUBLE_EQ(windows[0].window.west, box.west);
    EXPECT_DOUBLE_EQ(windows[0].window.east, west + 1.0);
    EXPECT_DOUBLE_EQ(windows[1].window.west, west + 1.0);
    EXPECT_DOUBLE_EQ(windows[1].window.east, box.east);
}

// Offline the cache may be another user's and read-only: nothing may be made in it, not even
// its folder. Online a tile the source lacks is marked by an empty file, written whole.
TEST(TileSourcesTest, OfflineNeverWritesInTheCache)
{
    ScratchDirectory scratch;
    const std::string folder = scratch.PathOf("cache");
    const SourceFile file = TileCache::TileFile(folder + "/imagery/0123456789abcdef", "http://tiles.test/9/1/2.jpg", 9, 1, 2);

    const TileCache offline(folder, true);
    std::string reason;
    EXPECT_NE(offline.PrepareForWriting(&reason), CommandStatus::Done);
    EXPECT_FALSE(offline.MakeFolderFor(file));
    EXPECT_FALSE(fs::exists(folder));

    // Where the folders are there already, offline still marks nothing.
    const TileCache online(folder, false);
    ASSERT_EQ(online.PrepareForWriting(&reason), CommandStatus::Done) << reason;
    ASSERT_TRUE(online.MakeFolderFor(file));
    EXPECT_FALSE(offline.MarkAbsent(file));
    EXPECT_FALSE(TileCache::Holds(file));

    ASSERT_TRUE(online.MarkAbsent(file));
    EXPECT_TRUE(TileCache::Holds(file));
    EXPECT_EQ(TileCache::Readable(file), file.absentFile);
    EXPECT_EQ(fs::file_size(file.absentFile), 0u);
    for (const std::string& entry : Entries(folder))
        EXPECT_EQ(entry.find(".partial"), std::string::npos) << entry;
}

// The import reads the replay's tiles from the cache: a tile at the source's zoom as it was
// served, a finer one cut from the quarter of its source tile that it covers.
TEST(TileSourcesTest, CachedTilesServeTheirLevelAndAreCutForFinerOnes)
{
    GDALAllRegister();
    ScratchDirectory scratch;
    const TileCache cache(scratch.PathOf("cache"), false);
    const std::unique_ptr<RemoteImagery> imagery = TestImagery(cache, 9);
    ASSERT_NE(imagery, nullptr);

    // Red in the north-east quarter, blue elsewhere (painter rows count from the bottom).
    const std::string served = EncodedImage(256, 256, [](int x, int y, unsigned char* rgb) {
        const bool northEast = x >= 128 && y >= 128;
        rgb[0] = northEast ? 220 : 20;
        rgb[1] = 20;
        rgb[2] = northEast ? 20 : 220;
    }, "jpg");
    ASSERT_FALSE(served.empty());
    const ImageryTileId source = {9, 185, 268};
    WriteWholeFile(imagery->FileOf(source).file, served);
    const std::unique_ptr<TileSource> cached = imagery->FromCache();

    std::string jpeg;
    ASSERT_TRUE(cached->Fetch(source, &jpeg));
    EXPECT_EQ(jpeg, served);

    const auto centreColour = [](const std::string& bytes) {
        osgDB::ReaderWriter* reader = osgDB::Registry::instance()->getReaderWriterForExtension("jpg");
        std::istringstream stream(bytes);
        osgDB::ReaderWriter::ReadResult result = reader->readImage(stream);
        EXPECT_TRUE(result.validImage());
        EXPECT_EQ(result.validImage() ? result.getImage()->s() : 0, 256);
        return result.validImage() ? result.getImage()->getColor(128, 128) : osg::Vec4();
    };
    // Level 10: row 2 * 185 is the northern half, column 2 * 268 + 1 the eastern one.
    ASSERT_TRUE(cached->Fetch(ImageryTileId{10, 2 * 185, 2 * 268 + 1}, &jpeg));
    osg::Vec4 colour = centreColour(jpeg);
    EXPECT_GT(colour.r(), 0.7f);
    EXPECT_LT(colour.b(), 0.3f);
    ASSERT_TRUE(cached->Fetch(ImageryTileId{10, 2 * 185 + 1, 2 * 268 + 1}, &jpeg));
    colour = centreColour(jpeg);
    EXPECT_LT(colour.r(), 0.3f);
    EXPECT_GT(colour.b(), 0.7f);

    // A tile whose source tile the cache lacks is not there.
    EXPECT_FALSE(cached->Fetch(ImageryTileId{10, 0, 0}, &jpeg));
}
