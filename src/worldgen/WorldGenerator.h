#pragma once
#include <cstdint>
#include <string>

#include "worldgen/ImageryTiles.h"

struct PlantedFaults;

const uint32_t DefaultWorldSeed = 20260614;
const double DemoSampleRate = 5.0; // log rows per second

// Names of what the generator writes into the world folder; the viewer reads them there.
const char* const SampleLogName = "sample.log";
const char* const StampName = ".worldgen"; // the generator's version, seed and corridor, written last

// Identifies the generator's output format; a world stamped with another version (or
// another seed) is out of date and ./run makes it anew.
const char* const WorldGeneratorVersion = "flightreplay-worldgen 2";

struct WorldOptions
{
    std::string folder = "demo-world";
    uint32_t seed = DefaultWorldSeed;
    int threads = 2;
    // Above 0: instead of the demo flight, a cross-country flight about this many kilometres
    // long (CorridorFlight.h) over the landscape's regional relief, with every tile of its
    // corridor (terrain/FlightCorridor.h) rather than the rings' alone.
    double corridorKilometres = 0.0;
    // Paints each imagery tile: the landscape's picture. A test that needs only the world's
    // files, not their pictures, passes a cheaper painter.
    ImageryPainter paintTile = RenderImageryTile;
};

// What a generated world holds, for the report and for tests.
struct WorldSummary
{
    int32_t rows = 0;
    double duration = 0.0; // seconds from the first to the last row
    int32_t CI = 0;        // map frame the viewer will compute from the log
    int32_t CJ = 0;
    int32_t elevationFiles = 0;
    int32_t imageryTiles = 0;
    double distance = 0.0; // metres from the log's first position to its last, as read back
};

// What the stamp of a world made with these options says, its line end included:
// "flightreplay-worldgen 2 seed N", then " corridor KM km" for a long world.
std::string WorldStamp(const WorldOptions& options);

// Whether options.folder holds a complete world of this generator version, seed and corridor
// length: its stamp says so.
bool WorldIsComplete(const WorldOptions& options);

// Writes the fault log (FaultLog.h) into options.folder, after making the world there when it
// is not complete. A complete world is left as it is, byte for byte: only the fault log is
// added (or written anew). Returns false (after printing why) when a file cannot be written.
bool GenerateFaultLog(const WorldOptions& options, PlantedFaults* planted);

// Writes the complete world into options.folder (created if needed): the log
// "sample.log", the elevation tiles "zsi-*.egm" the terrain rings touch, the 249 imagery
// tiles "img/*.jpg", "res/grass_1.jpg", "res/tamor1.jpg", "sky12q-1024x512.jpeg",
// "EasyStar/data/body.ac", and last the stamp. Prints one line per step. Returns false
// (after printing why) when a file cannot be written. A corridor world holds the long flight
// instead, and the elevation tiles and imagery of its whole corridor.
bool GenerateWorld(const WorldOptions& options, WorldSummary& summary);
