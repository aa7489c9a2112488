#include "world/TileFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

bool FileExists(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::string UserFolder(const char* xdgVariable, const char* underHome)
{
    if (const char* xdg = getenv(xdgVariable); xdg && *xdg == '/')
        return xdg;
    if (const char* home = getenv("HOME"); home && *home)
        return std::string(home) + "/" + underHome;
    return std::string();
}

bool EnsureDirectory(const std::string& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode);
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}
