#include "datatool/DataTool.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "datatool/CheckCommand.h"
#include "datatool/TrackCommand.h"

namespace
{

// Whether the command line asks for --plot, which only the full tool draws.
bool AsksForPlot(int argc, char** argv)
{
    for (int i = 2; i < argc; ++i)
        if (strcmp(argv[i], "--plot") == 0 || strncmp(argv[i], "--plot=", 7) == 0)
            return true;
    return false;
}

// The full tool beside this program's own executable, wherever it was started from.
std::string FullToolPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return FullDataToolPath;
    std::string folder(self, static_cast<size_t>(length));
    folder.erase(folder.find_last_of('/') + 1);
    return folder + FullDataToolPath;
}

int HandOver(char** argv)
{
    const std::string full = FullToolPath();
    fflush(nullptr);
    execv(full.c_str(), argv);
    fprintf(stderr, "%s: cannot start the full data tool '%s': %s\n", argv[0], full.c_str(), strerror(errno));
    return DataToolUsage;
}

} // namespace

int RunLightDataTool(int argc, char** argv)
{
    if (argc < 2 || !IsDataCommand(argv[1]))
        return RunDataToolOverview(argc, argv);
    const char* command = argv[1];
    if (strcmp(command, "track") == 0)
        return RunTrackCommand(argc, argv);
    // The plot is drawn with cairo, which only the full tool links.
    if (strcmp(command, "check") == 0 && !AsksForPlot(argc, argv))
        return RunCheck(argc, argv, nullptr);
    // plan, dem, imagery, fetch, world, sync, subtitles (libav), export and check --plot: the full tool
    // reads their command lines.
    return HandOver(argv);
}
