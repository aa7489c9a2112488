#include "track/FlightFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

FlightFile::FlightFile(std::string path, std::string_view bytes) : path(std::move(path)), bytes(bytes)
{
}

FlightFile::~FlightFile()
{
    if (mapping)
        munmap(mapping, mapped);
}

bool FlightFile::Load(const std::string& name, std::string* message)
{
    path = name;
    const int descriptor = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
    {
        *message = "cannot open '" + name + "': " + strerror(errno);
        return false;
    }
    struct stat status;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
    {
        void* map = mmap(nullptr, static_cast<size_t>(status.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, descriptor, 0);
        if (map != MAP_FAILED)
        {
            close(descriptor);
            mapping = map;
            mapped = static_cast<size_t>(status.st_size);
            bytes = std::string_view(static_cast<const char*>(mapping), mapped);
            return true;
        }
    }
    close(descriptor);
    // A folder opens but reads nothing, like an empty file.
    std::ifstream stream(name, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    if (stream.bad())
    {
        *message = "cannot read '" + name + "'";
        return false;
    }
    owned = content.str();
    bytes = owned;
    return true;
}
