#include "batch/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>

std::string TemporaryNameFor(const std::string& path)
{
    static std::atomic<unsigned long> next{0};
    return path + ".part." + std::to_string(static_cast<long>(getpid())) + "." + std::to_string(next++);
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size)
{
    const std::string temporary = TemporaryNameFor(path);
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool written = fwrite(data, 1, size, file) == size;
    int error = errno;
    // fclose flushes: its failure (a full disk) is a failed write too.
    const bool closed = fclose(file) == 0;
    if (written && !closed)
        error = errno;
    if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0)
    {
        if (written && closed)
            error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathWithExtension(const std::string& path, const std::string& extension)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const bool hasOne = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasOne ? path.substr(0, dot) : path) + extension;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error)
{
    if (WriteFileAtomically(path, text.data(), text.size()))
        return true;
    *error = "cannot write '" + path + "': " + strerror(errno);
    return false;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        *error = "cannot open '" + path + "': " + strerror(errno);
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}
