// flightreplay-worldgen: writes a complete demo world (a sample flight log and everything
// the viewer reads around it) into one folder.
#include <cstdint>
#include <cstdio>
#include <thread>

#include "cli/CommandLine.h"
#include "viewer/WindowingSystem.h"
#include "worldgen/FaultLog.h"
#include "worldgen/WorldGenerator.h"

// The exit status of a command line it does not understand; 2 is a world it could not make.
static const int WorldgenUsage = 1;

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    WorldOptions options;
    bool faults = false;
    bool version = false;
    options.threads = static_cast<int>(std::thread::hardware_concurrency());
    if (options.threads < 1)
        options.threads = 1;
    CommandLine line("worldgen", argc > 0 && argv[0] ? argv[0] : "flightreplay-worldgen",
                     "Writes a complete demo world into one folder: a sample flight log, the elevation tiles, imagery of six levels, a sky, grass and the glider model. It comes out the same every time.",
                     WorldgenUsage);
    line.Text("--out", "FOLDER", &options.folder, "the world's folder (default " + options.folder + ")");
    line.Whole("--seed", "N", 0, UINT32_MAX, [&options](long long seed) { options.seed = static_cast<uint32_t>(seed); }, "another variant of the world (default " + std::to_string(DefaultWorldSeed) + ")");
    line.Whole("--threads", "N", 1, 1024, &options.threads, "paint the imagery on N threads (default every core)");
    // A long cross-country flight instead of the demo's, with the tiles of its whole corridor.
    line.Number("--corridor", "KM", 0.0, 5000.0, &options.corridorKilometres, "a long world instead: a cross-country flight of about KM km, with the tiles of its whole corridor", true);
    // The demo flight again with known faults, as a second log beside the world's.
    line.Flag("--faults", &faults, "write the demo flight again with planted faults, as faults.log beside a complete world");
    // The stamp a world made with these options would carry.
    line.Flag("--version", &version, "print the stamp a world made with the other options carries, and make nothing");
    const CommandLineOutcome parsed = line.Parse(argc, argv, 1);
    if (!parsed.run)
        return parsed.status;
    if (version)
    {
        fputs(WorldStamp(options).c_str(), stdout);
        return 0;
    }
    if (faults)
    {
        PlantedFaults planted;
        return GenerateFaultLog(options, &planted) ? 0 : 2;
    }
    WorldSummary summary;
    return GenerateWorld(options, summary) ? 0 : 2;
}
