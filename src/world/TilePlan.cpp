#include "world/TilePlan.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include <osgDB/ReadFile>

#include "flight/LoadedFlight.h"
#include "geo/Geodesy.h"
#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"
#include "terrain/RingTiles.h"
#include "terrain/FlightCorridor.h"
#include "world/FlightCoverage.h"
#include "world/TileCoverage.h"
#include "world/TileFiles.h"

// The store opens a tile file with fopen and takes whatever it holds.
static bool Openable(const std::string& name)
{
    FILE* file = fopen(name.c_str(), "rb");
    if (file)
        fclose(file);
    return file != nullptr;
}

// A tile that opens but whose every point lacks a height: all zeros without a coverage file
// (an empty file, or what an older import left for a raster it could not read).
static bool EmptyTile(const std::string& name)
{
    CoveredTile tile;
    std::string reason;
    return LoadCoveredTile(name, &tile, &reason) && CountValidPoints(tile) == 0;
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

// A file the replay opens by `name`, as it lies in `folder` (empty: the working directory).
static std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : (std::filesystem::path(folder) / name).string();
}

// The plan, with presence judged only when asked (decoding 249 images takes a while).
static std::vector<PlannedFile> ListReplayFiles(int32_t CI, int32_t CJ, bool judge, const std::string& folder = "")
{
    std::vector<PlannedFile> files;
    VisitRingFiles(CI, CJ, [&](const TerrainPatch& patch, const std::vector<ElevationTileId>& firstRead) {
        for (const ElevationTileId& tile : firstRead)
        {
            const std::string name = ElevationTileFileName(tile.tileRow, tile.tileColumn);
            const bool present = judge && Openable(InFolder(folder, name));
            files.push_back(PlannedFile{PlannedKind::ElevationTile, name, FinestLevel, tile.tileRow, tile.tileColumn, present, present && EmptyTile(InFolder(folder, name))});
        }
        const std::string name = ImageryFileName(patch.level, patch.tileRow, patch.tileColumn);
        files.push_back(PlannedFile{PlannedKind::ImageryTile, name, patch.level, patch.tileRow, patch.tileColumn, judge && Decodable(InFolder(folder, name))});
    });
    files.push_back(PlannedFile{PlannedKind::GrassTexture, GrassTextureFile, 0, 0, 0, judge && Decodable(InFolder(folder, GrassTextureFile))});
    files.push_back(PlannedFile{PlannedKind::SkyTexture, SkyTextureFile, 0, 0, 0, judge && Decodable(InFolder(folder, SkyTextureFile))});
    files.push_back(PlannedFile{PlannedKind::AircraftModel, AircraftModelFile, 0, 0, 0, judge && Loadable(InFolder(folder, AircraftModelFile))});
    files.push_back(PlannedFile{PlannedKind::AircraftTexture, AircraftTextureFile, 0, 0, 0, judge && Decodable(InFolder(folder, AircraftTextureFile))});
    return files;
}

std::vector<PlannedFile> PlanReplayFiles(int32_t CI, int32_t CJ, const std::string& folder)
{
    return ListReplayFiles(CI, CJ, true, folder);
}

std::vector<ImageryTileId> ImageryTilesOfFlight(int32_t CI, int32_t CJ)
{
    std::vector<ImageryTileId> tiles;
    for (const ImageryTileId& tile : RingImageryTiles(CI, CJ))
    {
        // Beyond the Mercator limits the rings reach rows that no map has; past the grid's
        // ends across 180 degrees, the columns name tiles of the grid's other end.
        const int64_t last = (int64_t{1} << tile.level) - 1;
        if (tile.row >= 0 && tile.row <= last)
            tiles.push_back(tile);
    }
    return tiles;
}

// The bytes of a file that is there and not empty, else 0.
static uintmax_t NonEmptySize(const std::string& name)
{
    std::error_code failure;
    const uintmax_t size = std::filesystem::file_size(name, failure);
    return failure ? 0 : size;
}

// The corridor of the flight under those tiles, judged in the folder (empty: the working
// directory), the rings' tiles as `rings` judged them.
static CorridorPlan JudgeCorridor(int32_t CI, int32_t CJ, const std::vector<GridTile>& flight, const std::vector<PlannedFile>& rings, const std::string& folder)
{
    std::map<std::string, bool> judged;
    for (const PlannedFile& file : rings)
        judged[file.name] = file.present && !file.empty;
    CorridorPlan plan;
    plan.imagery = CorridorImageryTiles(CI, CJ, flight);
    plan.elevation = CorridorElevationTiles(CI, CJ, plan.imagery);
    plan.ringElevation = RingElevationTiles(CI, CJ).size();
    for (const ElevationTileId& tile : plan.elevation)
    {
        const std::string name = ElevationTileFileName(tile.tileRow, tile.tileColumn);
        const auto ring = judged.find(name);
        plan.elevationPresent.push_back(ring != judged.end() ? ring->second : Openable(InFolder(folder, name)) && !EmptyTile(InFolder(folder, name)));
    }
    plan.ringImagery = ImageryTilesOfFlight(CI, CJ).size();
    for (const ImageryTileId& tile : plan.imagery)
    {
        const std::string name = ImageryFileName(tile);
        const uintmax_t bytes = NonEmptySize(InFolder(folder, name));
        const auto ring = judged.find(name);
        const bool present = ring != judged.end() ? ring->second : bytes > 0;
        plan.imageryPresent.push_back(present);
        plan.presentImageryBytes += present ? static_cast<double>(bytes) : 0.0;
    }
    return plan;
}

CorridorPlan PlanCorridor(const FlightRows& flight, const MapFrameValues& frame, const std::vector<PlannedFile>& rings)
{
    return PlanCorridorAround(frame.CI, frame.CJ, TilesUnderFlights({flight}), rings);
}

CorridorPlan PlanCorridorAround(int32_t CI, int32_t CJ, const std::vector<GridTile>& flight, const std::vector<PlannedFile>& rings)
{
    return JudgeCorridor(CI, CJ, flight, rings, "");
}

CorridorPlan PlanCorridor(const FlightTiles& flight, const std::string& folder)
{
    return JudgeCorridor(flight.CI, flight.CJ, flight.under, PlanReplayFiles(flight.CI, flight.CJ, folder), folder);
}

CorridorPlan MergeCorridorPlans(const std::vector<CorridorPlan>& plans)
{
    CorridorPlan merged;
    std::set<std::string> seen;
    for (int part = 0; part < 2; ++part)
    {
        for (const CorridorPlan& plan : plans)
            for (size_t i = part == 0 ? 0 : plan.ringElevation; i < (part == 0 ? plan.ringElevation : plan.elevation.size()); ++i)
                if (seen.insert(ElevationTileFileName(plan.elevation[i].tileRow, plan.elevation[i].tileColumn)).second)
                {
                    merged.elevation.push_back(plan.elevation[i]);
                    merged.elevationPresent.push_back(plan.elevationPresent[i]);
                }
        if (part == 0)
            merged.ringElevation = merged.elevation.size();
    }
    for (int part = 0; part < 2; ++part)
    {
        for (const CorridorPlan& plan : plans)
            for (size_t i = part == 0 ? 0 : plan.ringImagery; i < (part == 0 ? plan.ringImagery : plan.imagery.size()); ++i)
                if (const std::string name = ImageryFileName(plan.imagery[i]); seen.insert(name).second)
                {
                    merged.imagery.push_back(plan.imagery[i]);
                    merged.imageryPresent.push_back(plan.imageryPresent[i]);
                    merged.presentImageryBytes += plan.imageryPresent[i] ? static_cast<double>(NonEmptySize(name)) : 0.0;
                }
        if (part == 0)
            merged.ringImagery = merged.imagery.size();
    }
    // One plan keeps its own sum, as the files were when it was made.
    if (plans.size() == 1)
        merged.presentImageryBytes = plans.front().presentImageryBytes;
    return merged;
}

static const char* Status(bool present)
{
    return present ? "present" : "MISSING";
}

static void PrintBox(const char* label, const GeoBox& box)
{
    printf("%s --bbox %.6f,%.6f,%.6f,%.6f\n", label, box.south, box.west, box.north, box.east);
}

// Of the grid points the terrain looks up, those with a height of Filled quality or better;
// points of missing tiles have none.
static void CountHeightedPoints(int32_t CI, int32_t CJ, int64_t* withHeight, int64_t* points)
{
    std::map<std::pair<int32_t, int32_t>, CoveredTile> tiles;
    std::set<std::pair<int32_t, int32_t>> seen;
    *withHeight = 0;
    *points = 0;
    VisitTerrainPatches(CI, CJ, [&](const TerrainPatch& patch) {
        for (const GridPoint& point : PatchGridPoints(patch))
        {
            // Neighbouring patches share their edges: each point counts once.
            if (point.row < 0 || point.column < 0 || !seen.insert({point.row, point.column}).second)
                continue;
            ++*points;
            const std::pair<int32_t, int32_t> id(point.row / ElevationTileSize, point.column / ElevationTileSize);
            auto found = tiles.find(id);
            if (found == tiles.end())
            {
                CoveredTile tile;
                std::string reason;
                if (!LoadCoveredTile(ElevationTileFileName(id.first, id.second), &tile, &reason))
                    tile = CoveredTile{}; // unreadable: no heights
                found = tiles.emplace(id, std::move(tile)).first;
            }
            const CoveredTile& tile = found->second;
            const size_t sample = static_cast<size_t>(point.row % ElevationTileSize) * ElevationTileSamples + point.column % ElevationTileSize;
            *withHeight += !tile.qualities.empty() && tile.qualities[sample] != HeightQuality::None ? 1 : 0;
        }
    });
}

// Where the flight lies against the terrain's squares; returns the share outside in percent.
static double PrintFlightCoverage(const FlightRows& flight, const MapFrameValues& frame)
{
    std::vector<double> latitudes, longitudes;
    for (const SampleRow& row : flight)
    {
        latitudes.push_back(row.gps_curlat / 60.0);
        longitudes.push_back(row.gps_curlon / 60.0);
    }
    const FlightCoverage coverage = MeasureFlightCoverage(latitudes, longitudes, frame.CI, frame.CJ, 1.0 / frame.k);
    const double total = static_cast<double>(std::max<int64_t>(coverage.samples, 1));
    printf("flight over the terrain (%lld samples):", static_cast<long long>(coverage.samples));
    for (const LevelCoverage& level : coverage.levels)
        printf(" level %d (%.1f km square) %.1f%%%s", level.level, level.sideKilometres, 100.0 * level.samples / total, level.level == CoarsestLevel ? "\n" : ",");
    const double outside = 100.0 * coverage.outside / total;
    if (coverage.outside > 0)
    {
        const TileRange& tiles = coverage.flightTiles;
        printf("outside the terrain: %lld samples (%.1f%%), up to %.1f km beyond its edge, where the aircraft flies over nothing;"
               " the whole flight spans level %d tiles rows %d..%d columns %d..%d (%d x %d; the terrain is 7 x 7 around the flight's centre),",
               static_cast<long long>(coverage.outside), outside, coverage.farthestKilometres, CoarsestLevel, tiles.firstRow, tiles.lastRow, tiles.firstColumn, tiles.lastColumn, tiles.lastRow - tiles.firstRow + 1, tiles.lastColumn - tiles.firstColumn + 1);
        PrintBox("", coverage.flightBox);
    }
    return coverage.outside > 0 ? outside : 0.0;
}

static double Megabytes(double bytes)
{
    return bytes / 1e6;
}

// What the player's terrain may read along the whole flight, counted: tens of thousands of
// imagery tiles for a long flight, too many to list.
static void PrintCorridor(const CorridorPlan& plan)
{
    const size_t elevationPresent = std::count(plan.elevationPresent.begin(), plan.elevationPresent.end(), true);
    const size_t imageryPresent = std::count(plan.imageryPresent.begin(), plan.imageryPresent.end(), true);
    printf("Along the whole flight (the rings and %d tiles of each level on every side of the track):\n", CorridorReach);
    printf("corridor elevation: %zu tiles, %zu present, %zu missing; %.1f MB in all, %.1f MB missing (%zu bytes a tile)\n", plan.elevation.size(), elevationPresent, plan.elevation.size() - elevationPresent, Megabytes(static_cast<double>(plan.elevation.size() * ElevationTileBytes)), Megabytes(static_cast<double>((plan.elevation.size() - elevationPresent) * ElevationTileBytes)), ElevationTileBytes);
    const size_t imageryMissing = plan.imagery.size() - imageryPresent;
    printf("corridor imagery: %zu tiles, %zu present, %zu missing;", plan.imagery.size(), imageryPresent, imageryMissing);
    // The bytes of a tile are known only once it is there: the present ones' mean stands for
    // the missing ones, of the same source most likely.
    if (imageryPresent > 0)
    {
        const double mean = plan.presentImageryBytes / static_cast<double>(imageryPresent);
        printf(" %.1f MB present, about %.1f MB missing (estimated at the present tiles' mean of %.0f bytes a tile)\n", Megabytes(plan.presentImageryBytes), Megabytes(mean * static_cast<double>(imageryMissing)), mean);
    }
    else
        printf(" about %.1f MB missing (estimated at a typical %.0f bytes a tile)\n", Megabytes(ImageryTileBytesEstimate * static_cast<double>(imageryMissing)), ImageryTileBytesEstimate);
    printf("corridor imagery by level (missing of all):");
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        size_t tiles = 0, missing = 0;
        for (size_t i = 0; i < plan.imagery.size(); ++i)
            if (plan.imagery[i].level == level)
            {
                ++tiles;
                missing += plan.imageryPresent[i] ? 0 : 1;
            }
        printf(" level %d %zu of %zu%s", level, missing, tiles, level == CoarsestLevel ? "\n" : ",");
    }
    printf("beyond the rings an imagery tile counts as present when its file is not empty; the replay reads the rings' alone, the player the whole corridor\n");
}

int RunPlan(const char* log, const char* samples)
{
    LoadedFlight flight;
    const int status = LoadFlight(log, samples, FlightFiles::Refuse, LoadReport::Transcript, &flight);
    if (status != 0)
        return status;
    return PrintFlightPlan(flight, flight.Frame());
}

int PrintFlightPlan(const LoadedFlight& flight, const MapFrameValues& frame)
{
    // The loading step has said where the flight leaves the map; a plan there would list
    // tiles that no map has.
    if (LatitudeBeyondMap(flight.summary.extent) != 0.0)
    {
        fprintf(stderr, "plan: no plan for a flight beyond the map's latitudes; convert or select (--samples) the part within \u00b1%.4f\u00b0\n", MapLatitudeLimit);
        return 1;
    }

    const std::vector<PlannedFile> files = PlanReplayFiles(frame.CI, frame.CJ);
    printf("Files the replay reads, in its order:\n");
    int missingImagery = 0;
    for (const PlannedFile& file : files)
    {
        switch (file.kind)
        {
        case PlannedKind::ElevationTile:
            printf("%s %s elevation tile row %lld column %lld%s\n", file.empty ? "EMPTY" : Status(file.present), file.name.c_str(), static_cast<long long>(file.row), static_cast<long long>(file.column), file.empty ? ", no point has a height: it shows as flat ground at 0 m" : "");
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
    int missing = 0, empty = 0;
    int elevationTiles = 0, elevationMissing = 0;
    int64_t firstRow = TileScale, lastRow = -1, firstColumn = TileScale, lastColumn = -1;
    for (const PlannedFile& file : files)
    {
        missing += file.present ? 0 : 1;
        empty += file.empty ? 1 : 0;
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
    int64_t withHeight = 0, points = 0;
    CountHeightedPoints(frame.CI, frame.CJ, &withHeight, &points);
    printf("elevation points the terrain reads: %lld of %lld have heights (%.1f%%), %lld show 0 m for want of data\n", static_cast<long long>(withHeight), static_cast<long long>(points), 100.0 * withHeight / std::max<int64_t>(points, 1), static_cast<long long>(points - withHeight));
    GeoBox whole = {90.0, 540.0, -90.0, -540.0};
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
        // The box of the tiles that exist on the map: the rings reach past its rows at the
        // Mercator limits; past its columns, across 180 degrees, the box runs on as the
        // flight's longitudes do, and --bbox takes it so.
        const int64_t last = (int64_t{1} << level) - 1;
        auto clampTile = [last](int64_t tile) { return static_cast<int32_t>(std::clamp<int64_t>(tile, 0, last)); };
        const TileRange range = {level, clampTile(rows[0]), clampTile(rows[1]), static_cast<int32_t>(columns[0]), static_cast<int32_t>(columns[1])};
        const GeoBox box = BoxOfTiles(range);
        whole = GeoBox{std::min(whole.south, box.south), std::min(whole.west, box.west), std::max(whole.north, box.north), std::max(whole.east, box.east)};
        printf("level %d: %d of %d tiles missing, rows %lld..%lld columns %lld..%lld,", level, absent, tiles, static_cast<long long>(rows[0]), static_cast<long long>(rows[1]), static_cast<long long>(columns[0]), static_cast<long long>(columns[1]));
        PrintBox("", box);
    }
    PrintBox("whole area:", whole);
    const double outside = PrintFlightCoverage(flight.Rows(), frame);
    PrintCorridor(PlanCorridor(flight.Rows(), frame, files));
    char note[96] = "";
    if (outside > 0.0)
        snprintf(note, sizeof note, "; %.1f%% of the flight lies outside the terrain", outside);
    if (missing + empty == 0)
        printf("complete: all %zu files present%s\n", files.size(), note);
    else if (empty == 0)
        printf("incomplete: %d of %zu files missing%s\n", missing, files.size(), note);
    else
        printf("incomplete: %d of %zu files missing, %d elevation tile%s empty%s\n", missing, files.size(), empty, empty == 1 ? "" : "s", note);
    return missing + empty == 0 ? 0 : 1;
}
