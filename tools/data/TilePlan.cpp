#include "TilePlan.h"

#include <algorithm>
#include <cstdio>

#include <osgDB/ReadFile>

#include "TileFiles.h"
#include "app/Driver.h"
#include "geo/MapFrame.h"
#include "geo/ReplayFiles.h"
#include "terrain/TerrainRings.h"

// The store opens a tile file with fopen and takes whatever it holds.
static bool Openable(const std::string& name)
{
    FILE* file = fopen(name.c_str(), "rb");
    if (file)
        fclose(file);
    return file != nullptr;
}

// The terrain and the sky take an image only when the image plug-ins decode it.
static bool Decodable(const std::string& name)
{
    return FileExists(name) && osgDB::readRefImageFile(name).valid();
}

static bool Loadable(const std::string& name)
{
    return FileExists(name) && osgDB::readRefNodeFile(name).valid();
}

// The plan, with presence judged only when asked (decoding 249 images takes a while).
static std::vector<PlannedFile> ListReplayFiles(int32_t CI, int32_t CJ, bool judge)
{
    std::vector<PlannedFile> files;
    VisitRingFiles(CI, CJ, [&](const TerrainPatch& patch, const std::vector<ElevationTileId>& firstRead) {
        for (const ElevationTileId& tile : firstRead)
        {
            const std::string name = ElevationTileFileName(tile.tileRow, tile.tileColumn);
            files.push_back(PlannedFile{PlannedKind::ElevationTile, name, FinestLevel, tile.tileRow, tile.tileColumn, judge && Openable(name)});
        }
        const std::string name = ImageryFileName(patch.level, patch.tileRow, patch.tileColumn);
        files.push_back(PlannedFile{PlannedKind::ImageryTile, name, patch.level, patch.tileRow, patch.tileColumn, judge && Decodable(name)});
    });
    files.push_back(PlannedFile{PlannedKind::GrassTexture, GrassTextureFile, 0, 0, 0, judge && Decodable(GrassTextureFile)});
    files.push_back(PlannedFile{PlannedKind::SkyTexture, SkyTextureFile, 0, 0, 0, judge && Decodable(SkyTextureFile)});
    files.push_back(PlannedFile{PlannedKind::AircraftModel, AircraftModelFile, 0, 0, 0, judge && Loadable(AircraftModelFile)});
    files.push_back(PlannedFile{PlannedKind::AircraftTexture, AircraftTextureFile, 0, 0, 0, judge && Decodable(AircraftTextureFile)});
    return files;
}

std::vector<PlannedFile> PlanReplayFiles(int32_t CI, int32_t CJ)
{
    return ListReplayFiles(CI, CJ, true);
}

std::vector<ImageryTileId> ImageryTilesOfFlight(int32_t CI, int32_t CJ)
{
    std::vector<ImageryTileId> tiles;
    for (const ImageryTileId& tile : RingImageryTiles(CI, CJ))
    {
        // Near the grid's edges the rings reach tiles that no map has.
        const int64_t last = (int64_t{1} << tile.level) - 1;
        if (tile.row >= 0 && tile.row <= last && tile.column >= 0 && tile.column <= last)
            tiles.push_back(tile);
    }
    return tiles;
}

static const char* Status(bool present)
{
    return present ? "present" : "MISSING";
}

static void PrintBox(const char* label, const GeoBox& box)
{
    printf("%s --bbox %.6f,%.6f,%.6f,%.6f\n", label, box.south, box.west, box.north, box.east);
}

int RunPlan(int argc, char** argv)
{
    const int status = LoadFlightLog(argc, argv);
    if (status != 0)
        return status;

    const std::vector<PlannedFile> files = PlanReplayFiles(MapFrame.CI, MapFrame.CJ);
    printf("Files the replay reads, in its order:\n");
    int missingImagery = 0;
    for (const PlannedFile& file : files)
    {
        switch (file.kind)
        {
        case PlannedKind::ElevationTile:
            printf("%s %s elevation tile row %lld column %lld\n", Status(file.present), file.name.c_str(), static_cast<long long>(file.row), static_cast<long long>(file.column));
            break;
        case PlannedKind::ImageryTile:
            printf("%s %s imagery level %d row %lld column %lld\n", Status(file.present), file.name.c_str(), file.level, static_cast<long long>(file.row), static_cast<long long>(file.column));
            missingImagery += file.present ? 0 : 1;
            break;
        case PlannedKind::GrassTexture:
            printf("%s %s grass fallback for missing imagery%s\n", Status(file.present), file.name.c_str(), missingImagery > 0 ? "" : " (not needed now)");
            break;
        case PlannedKind::SkyTexture:
            printf("%s %s sky texture\n", Status(file.present), file.name.c_str());
            break;
        case PlannedKind::AircraftModel:
            printf("%s %s aircraft model\n", Status(file.present), file.name.c_str());
            break;
        case PlannedKind::AircraftTexture:
            printf("%s %s aircraft fallback texture (for the shape aircraft)\n", Status(file.present), file.name.c_str());
            break;
        }
    }

    printf("Summary:\n");
    int missing = 0;
    int elevationTiles = 0, elevationMissing = 0;
    int64_t firstRow = TileScale, lastRow = -1, firstColumn = TileScale, lastColumn = -1;
    for (const PlannedFile& file : files)
    {
        missing += file.present ? 0 : 1;
        if (file.kind != PlannedKind::ElevationTile)
            continue;
        ++elevationTiles;
        elevationMissing += file.present ? 0 : 1;
        firstRow = std::min(firstRow, file.row);
        lastRow = std::max(lastRow, file.row);
        firstColumn = std::min(firstColumn, file.column);
        lastColumn = std::max(lastColumn, file.column);
    }
    printf("elevation: %d of %d tiles missing, tile rows %lld..%lld columns %lld..%lld\n", elevationMissing, elevationTiles, static_cast<long long>(firstRow), static_cast<long long>(lastRow), static_cast<long long>(firstColumn), static_cast<long long>(lastColumn));
    GeoBox whole = {90.0, 180.0, -90.0, -180.0};
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        int tiles = 0, absent = 0;
        int64_t rows[2] = {INT64_MAX, INT64_MIN}, columns[2] = {INT64_MAX, INT64_MIN};
        for (const PlannedFile& file : files)
        {
            if (file.kind != PlannedKind::ImageryTile || file.level != level)
                continue;
            ++tiles;
            absent += file.present ? 0 : 1;
            rows[0] = std::min(rows[0], file.row);
            rows[1] = std::max(rows[1], file.row);
            columns[0] = std::min(columns[0], file.column);
            columns[1] = std::max(columns[1], file.column);
        }
        // The box of the tiles that exist on the map; the rings reach past its edges only
        // at the 180th meridian and the Mercator limits.
        const int64_t last = (int64_t{1} << level) - 1;
        auto clampTile = [last](int64_t tile) { return static_cast<int32_t>(std::clamp<int64_t>(tile, 0, last)); };
        const TileRange range = {level, clampTile(rows[0]), clampTile(rows[1]), clampTile(columns[0]), clampTile(columns[1])};
        const GeoBox box = BoxOfTiles(range);
        whole = GeoBox{std::min(whole.south, box.south), std::min(whole.west, box.west), std::max(whole.north, box.north), std::max(whole.east, box.east)};
        printf("level %d: %d of %d tiles missing, rows %lld..%lld columns %lld..%lld,", level, absent, tiles, static_cast<long long>(rows[0]), static_cast<long long>(rows[1]), static_cast<long long>(columns[0]), static_cast<long long>(columns[1]));
        PrintBox("", box);
    }
    PrintBox("whole area:", whole);
    if (missing == 0)
        printf("complete: all %zu files present\n", files.size());
    else
        printf("incomplete: %d of %zu files missing\n", missing, files.size());
    return missing == 0 ? 0 : 1;
}
