#include "worldgen/WorldGenerator.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <osgDB/WriteFile>

#include "flight/LoadedFlight.h"
#include "geo/Geodesy.h"
#include "geo/MapProjection.h"
#include "terrain/FlightCorridor.h"
#include "terrain/RingTiles.h"
#include "worldgen/AircraftModel.h"
#include "worldgen/CorridorFlight.h"
#include "worldgen/ElevationTiles.h"
#include "worldgen/FaultLog.h"
#include "worldgen/FlightLog.h"
#include "worldgen/FlightPlan.h"
#include "worldgen/ImageryTiles.h"
#include "worldgen/Landscape.h"
#include "worldgen/Textures.h"

namespace
{

bool MakeFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0)
        return true;
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return true;
    printf("Cannot create folder '%s'\n", path.c_str());
    return false;
}

bool WriteImage(const osg::Image& image, const std::string& path)
{
    osg::ref_ptr<osgDB::Options> options = new osgDB::Options("JPEG_QUALITY 90");
    if (osgDB::writeImageFile(image, path, options.get()))
        return true;
    printf("Cannot write '%s'\n", path.c_str());
    return false;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// " in N s": how long a step of a long world took, which is worth knowing there.
std::string TimeTaken(std::chrono::steady_clock::time_point since)
{
    char text[32];
    snprintf(text, sizeof text, " in %.1f s", Seconds(since));
    return text;
}

} // namespace

std::string WorldStamp(const WorldOptions& options)
{
    char text[128];
    if (options.corridorKilometres > 0.0)
        snprintf(text, sizeof text, "%s seed %u corridor %g km\n", WorldGeneratorVersion, options.seed,
                 options.corridorKilometres);
    else
        snprintf(text, sizeof text, "%s seed %u\n", WorldGeneratorVersion, options.seed);
    return text;
}

bool WorldIsComplete(const WorldOptions& options)
{
    FILE* stamp = fopen((options.folder + "/" + StampName).c_str(), "r");
    if (!stamp)
        return false;
    char text[128] = {};
    const size_t length = fread(text, 1, sizeof text - 1, stamp);
    fclose(stamp);
    return std::string(text, length) == WorldStamp(options);
}

bool GenerateFaultLog(const WorldOptions& options, PlantedFaults* planted)
{
    if (WorldIsComplete(options))
        printf("world in '%s' is complete: only the fault log is written\n", options.folder.c_str());
    else
    {
        WorldSummary summary;
        if (!GenerateWorld(options, summary))
            return false;
    }
    return WriteFaultLog(options.folder, options.seed, planted);
}

bool GenerateWorld(const WorldOptions& options, WorldSummary& summary)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string& folder = options.folder;
    if (!MakeFolder(folder) || !MakeFolder(folder + "/img") || !MakeFolder(folder + "/res")
        || !MakeFolder(folder + "/EasyStar") || !MakeFolder(folder + "/EasyStar/data"))
        return false;
    // A world being rewritten is not complete until the stamp is written again.
    remove((folder + "/" + StampName).c_str());

    const bool corridor = options.corridorKilometres > 0.0;
    const Landscape landscape(options.seed, corridor ? Relief::Regional : Relief::Local);

    // The flight and its log.
    const double sampleRate = corridor ? CorridorSampleRate : DemoSampleRate;
    const std::vector<FlightState> states = corridor
        ? FlyCorridorFlight(landscape, options.seed, options.corridorKilometres, sampleRate)
        : FlyDemoFlight(landscape, options.seed, sampleRate);
    const std::vector<SampleRow> rows = FlightLogRows(states, sampleRate);
    const std::string logPath = folder + "/" + SampleLogName;
    if (!WriteFlightLog(logPath, rows))
        return false;
    summary.rows = static_cast<int32_t>(rows.size());
    summary.duration = rows.empty() ? 0.0 : rows.back().gps_time - rows.front().gps_time;
    printf("flight: %d rows, %.1f min at %.0f per second -> %s\n", summary.rows, summary.duration / 60.0,
           sampleRate, logPath.c_str());

    // The map frame the viewer will set up from this log decides which tiles it reads: the
    // log is read back as the viewer reads it, so the frame comes from the printed digits.
    LoadedFlight written;
    if (LoadFlight(logPath.c_str(), nullptr, FlightFiles::Refuse, LoadReport::Quiet, &written) != 0)
    {
        printf("Cannot read back '%s'\n", logPath.c_str());
        return false;
    }
    const MapFrameValues frame = written.Frame();
    summary.CI = frame.CI;
    summary.CJ = frame.CJ;
    // The positions as read back, so the corridor is the one a reader of the log finds.
    std::vector<double> latitudes;
    std::vector<double> longitudes;
    for (const SampleRow& row : written.rows)
    {
        latitudes.push_back(row.gps_curlat / 60.0);
        longitudes.push_back(row.gps_curlon / 60.0);
    }
    if (!latitudes.empty())
        summary.distance =
            GroundDistance(latitudes.front(), longitudes.front(), latitudes.back(), longitudes.back());
    const std::vector<GridTile> under = corridor ? GridTilesUnder(latitudes, longitudes) : std::vector<GridTile>();
    if (corridor)
        printf("corridor: %.1f km from the first position to the last\n", summary.distance / 1000.0);

    const std::vector<ImageryTileId> tiles = corridor ? CorridorImageryTiles(frame.CI, frame.CJ, under)
                                                      : RingImageryTiles(frame.CI, frame.CJ);
    auto step = std::chrono::steady_clock::now();
    const std::vector<ElevationTileId> files = corridor ? CorridorElevationTiles(frame.CI, frame.CJ, tiles)
                                                        : RingElevationTiles(frame.CI, frame.CJ);
    if (!WriteElevationFiles(landscape, files, folder, options.threads))
        return false;
    summary.elevationFiles = static_cast<int32_t>(files.size());
    printf("elevation: %d tile files (field at %.0f m)%s\n", summary.elevationFiles, landscape.FieldLevel(),
           corridor ? TimeTaken(step).c_str() : "");

    step = std::chrono::steady_clock::now();
    if (!WriteImageryTiles(landscape, tiles, folder, options.threads, options.paintTile))
        return false;
    summary.imageryTiles = static_cast<int32_t>(tiles.size());
    printf("imagery: %d tiles, levels 18 to 13%s\n", summary.imageryTiles, corridor ? TimeTaken(step).c_str() : "");

    if (!WriteImage(*MakeGrassImage(options.seed), folder + "/res/grass_1.jpg")
        || !WriteImage(*MakeShapeAircraftImage(), folder + "/res/tamor1.jpg")
        || !WriteImage(*MakeSkyImage(options.seed), folder + "/sky12q-1024x512.jpeg")
        || !WriteAc3d(folder + "/EasyStar/data/body.ac", MakeGliderModel()))
        return false;
    printf("textures, sky and aircraft model written\n");

    FILE* stamp = fopen((folder + "/" + StampName).c_str(), "w");
    if (!stamp || fputs(WorldStamp(options).c_str(), stamp) < 0 || fclose(stamp) != 0)
    {
        printf("Cannot write '%s/%s'\n", folder.c_str(), StampName);
        return false;
    }
    printf("world complete in '%s' (%.1f s)\n", folder.c_str(), Seconds(start));
    return true;
}
