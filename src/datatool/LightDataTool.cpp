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

bool Asked(int argc, char** argv, const char* option)
{
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], option) == 0)
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
    if (argc < 2)
    {
        PrintDataToolUsage(argv[0], stderr);
        return DataToolUsage;
    }
    // Asking for help is no mistake, wherever it stands: the usage on stdout, status 0.
    if (Asked(argc, argv, "--help") || Asked(argc, argv, "-h"))
    {
        PrintDataToolUsage(argv[0], stdout);
        return 0;
    }
    const char* command = argv[1];
    if (strcmp(command, "track") == 0)
        return RunTrackCommand(argc, argv);
    // The plot is drawn with cairo, which only the full tool links.
    if (strcmp(command, "check") == 0 && !Asked(argc, argv, "--plot"))
        return RunCheck(argc, argv, nullptr);
    if (strcmp(command, "plan") == 0 || strcmp(command, "dem") == 0 || strcmp(command, "imagery") == 0 || strcmp(command, "fetch") == 0
        || strcmp(command, "world") == 0 || strcmp(command, "check") == 0)
        return HandOver(argv);
    PrintDataToolUsage(argv[0], stderr);
    return DataToolUsage;
}
