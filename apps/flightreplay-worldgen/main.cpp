// flightreplay-worldgen: writes a complete demo world (a sample flight log and everything
// the viewer reads around it) into one folder.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "viewer/WindowingSystem.h"
#include "worldgen/FaultLog.h"
#include "worldgen/WorldGenerator.h"

static int Usage(const char* program)
{
    printf("U: %s [--out FOLDER] [--seed N] [--threads N] [--corridor KM] [--faults] [--version]\n", program);
    return 1;
}

int main(int argc, char** argv)
{
    SetUpLibraryNotices();
    WorldOptions options;
    bool faults = false;
    options.threads = static_cast<int>(std::thread::hardware_concurrency());
    if (options.threads < 1)
        options.threads = 1;
    for (int i = 1; i < argc; ++i)
    {
        // The stamp a world made with the options before it would carry.
        if (strcmp(argv[i], "--version") == 0)
        {
            fputs(WorldStamp(options).c_str(), stdout);
            return 0;
        }
        // The demo flight again with known faults, as a second log beside the world's.
        if (strcmp(argv[i], "--faults") == 0)
        {
            faults = true;
            continue;
        }
        if (i + 1 >= argc)
            return Usage(argv[0]);
        if (strcmp(argv[i], "--out") == 0)
            options.folder = argv[++i];
        else if (strcmp(argv[i], "--seed") == 0)
            options.seed = static_cast<uint32_t>(strtoul(argv[++i], nullptr, 10));
        else if (strcmp(argv[i], "--threads") == 0)
            options.threads = atoi(argv[++i]);
        // A long cross-country flight instead of the demo's, with the tiles of its whole corridor.
        else if (strcmp(argv[i], "--corridor") == 0)
        {
            char* end = nullptr;
            options.corridorKilometres = strtod(argv[++i], &end);
            if (*end != '\0' || !(options.corridorKilometres > 0.0 && options.corridorKilometres <= 5000.0))
                return Usage(argv[0]);
        }
        else
            return Usage(argv[0]);
    }
    if (faults)
    {
        PlantedFaults planted;
        return GenerateFaultLog(options, &planted) ? 0 : 2;
    }
    WorldSummary summary;
    return GenerateWorld(options, summary) ? 0 : 2;
}
