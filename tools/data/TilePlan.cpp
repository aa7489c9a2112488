#include "TilePlan.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <utility>

#include "TerrainPatchesStopgap.h"
#include "TileFiles.h"
#include "app/Driver.h"
#include "app/MapFrame.h"
#include "scene/Aircraft.h"
#include "scene/SkyDome.h"
#include "terrain/ElevationTileStore.h"
#include "terrain/PatchTemplates.h"
#include "terrain/TerrainFileNames.h"

// Zoom-18 grid points whose heights a patch looks up, in the order it looks them up.
static std::vector<std::pair<int32_t, int32_t>> PatchGridPoints(const TerrainPatch& patch)
{
    const int32_t originRow = patch.tileRow * patch.s;
    const int32_t originColumn = patch.tileColumn * patch.s;
    std::vector<std::pair<int32_t, int32_t>> points;
    if (!patch.patchTemplate)
    {
        for (const auto& corner : {std::make_pair(0, 0), std::make_pair(1, 0), std::make_pair(1, 1), std::make_pair(0, 1)})
            points.emplace_back(originRow + corner.first * patch.s, originColumn + corner.second * patch.s);
        return points;
    }
    const PatchTemplate& t = *patch.patchTemplate;
    // The finest level gives its last vertex (the centre) the mean of the others.
    const int32_t looked = patch.s == 1 ? t.vertexCount - 1 : t.vertexCount;
    for (int32_t p = 0; p < looked; ++p)
        points.emplace_back(originRow + static_cast<int32_t>(patch.s * t.positions[p][0]), originColumn + static_cast<int32_t>(patch.s * t.positions[p][1]));
    return points;
}

std::vector<PlannedFile> PlanReplayFiles(int32_t CI, int32_t CJ)
{
    std::vector<PlannedFile> files;
    std::set<std::pair<int32_t, int32_t>> seenTiles;
    VisitTerrainPatches(CI, CJ, [&](const TerrainPatch& patch) {
        for (const auto& point : PatchGridPoints(patch))
        {
            // Points off the grid lie in no tile: the store answers 0 without a file.
            if (point.first < 0 || point.first >= TileScale || point.second < 0 || point.second >= TileScale)
                continue;
            const std::pair<int32_t, int32_t> tile(point.first / ElevationTileSize, point.second / ElevationTileSize);
            if (!seenTiles.insert(tile).second)
                continue;
            const std::string name = ElevationTileFileName(tile.first, tile.second);
            files.push_back(PlannedFile{PlannedKind::ElevationTile, name, FinestLevel, tile.first, tile.second, FileExists(name)});
        }
        const std::string name = ImageryFileName(patch.level, patch.tileRow, patch.tileColumn);
        files.push_back(PlannedFile{PlannedKind::ImageryTile, name, patch.level, patch.tileRow, patch.tileColumn, FileExists(name)});
    });
    files.push_back(PlannedFile{PlannedKind::GrassTexture, GrassTextureFile, 0, 0, 0, FileExists(GrassTextureFile)});
    files.push_back(PlannedFile{PlannedKind::SkyTexture, SkyTextureFile, 0, 0, 0, FileExists(SkyTextureFile)});
    files.push_back(PlannedFile{PlannedKind::AircraftModel, AircraftModelFile, 0, 0, 0, FileExists(AircraftModelFile)});
    files.push_back(PlannedFile{PlannedKind::AircraftTexture, AircraftTextureFile, 0, 0, 0, FileExists(AircraftTextureFile)});
    return files;
}

std::vector<ElevationTileId> ElevationTilesOfFlight(int32_t CI, int32_t CJ)
{
    std::vector<ElevationTileId> tiles;
    for (const PlannedFile& file : PlanReplayFiles(CI, CJ))
        if (file.kind == PlannedKind::ElevationTile)
            tiles.push_back(ElevationTileId{file.row, file.column});
    return tiles;
}

std::vector<ImageryTile> ImageryTilesOfFlight(int32_t CI, int32_t CJ)
{
    std::vector<ImageryTile> tiles;
    for (const PlannedFile& file : PlanReplayFiles(CI, CJ))
        if (file.kind == PlannedKind::ImageryTile)
            tiles.push_back(ImageryTile{file.level, file.row, file.column});
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
            printf("%s %s elevation tile row %d column %d\n", Status(file.present), file.name.c_str(), file.row, file.column);
            break;
        case PlannedKind::ImageryTile:
            printf("%s %s imagery level %d row %d column %d\n", Status(file.present), file.name.c_str(), file.level, file.row, file.column);
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
    int32_t firstRow = TileScale, lastRow = -1, firstColumn = TileScale, lastColumn = -1;
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
    printf("elevation: %d of %d tiles missing, tile rows %d..%d columns %d..%d\n", elevationMissing, elevationTiles, firstRow, lastRow, firstColumn, lastColumn);
    GeoBox whole = {90.0, 180.0, -90.0, -180.0};
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        int tiles = 0, absent = 0;
        TileRange range = {level, TileScale, -1, TileScale, -1};
        for (const PlannedFile& file : files)
        {
            if (file.kind != PlannedKind::ImageryTile || file.level != level)
                continue;
            ++tiles;
            absent += file.present ? 0 : 1;
            range.firstRow = std::min(range.firstRow, file.row);
            range.lastRow = std::max(range.lastRow, file.row);
            range.firstColumn = std::min(range.firstColumn, file.column);
            range.lastColumn = std::max(range.lastColumn, file.column);
        }
        const GeoBox box = BoxOfTiles(range);
        whole = GeoBox{std::min(whole.south, box.south), std::min(whole.west, box.west), std::max(whole.north, box.north), std::max(whole.east, box.east)};
        printf("level %d: %d of %d tiles missing, rows %d..%d columns %d..%d,", level, absent, tiles, range.firstRow, range.lastRow, range.firstColumn, range.lastColumn);
        PrintBox("", box);
    }
    PrintBox("whole area:", whole);
    if (missing == 0)
        printf("complete: all %zu files present\n", files.size());
    else
        printf("incomplete: %d of %zu files missing\n", missing, files.size());
    return missing == 0 ? 0 : 1;
}
