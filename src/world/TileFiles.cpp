#include "world/TileFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

bool WriteFileAtomically(const std::string& path, const void* data, size_t size)
{
    const std::string temporary = path + ".part";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool written = fwrite(data, 1, size, file) == size;
    // fclose flushes: its failure (a full disk) is a failed write too.
    const bool closed = fclose(file) == 0;
    if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0)
    {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

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
