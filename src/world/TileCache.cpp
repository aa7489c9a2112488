#include "world/TileCache.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "world/HttpClient.h"
#include "world/TileFiles.h"

namespace fs = std::filesystem;

TileCache::TileCache(const std::string& folder, bool offline) : offline(offline)
{
    std::error_code failure;
    this->folder = fs::absolute(folder, failure).string();
}

std::string TileCache::SourceFolder(const std::string& kind, const std::string& sourceUrl) const
{
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : sourceUrl)
        hash = (hash ^ c) * 1099511628211ull;
    char name[32];
    snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
    return (fs::path(folder) / kind / name).string();
}

SourceFile TileCache::TileFile(const std::string& sourceFolder, const std::string& url, int z, int64_t x, int64_t y)
{
    const std::string stem = sourceFolder + "/" + std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y);
    return SourceFile{url, stem + ".tile", stem + ".absent"};
}

SourceFile TileCache::WindowFile(const std::string& sourceFolder, const std::string& url, const std::string& square, int32_t tileRow, int32_t tileColumn, const GeoBox& window)
{
    const std::string stem = sourceFolder + "/" + square + "/" + std::to_string(tileRow) + "-" + std::to_string(tileColumn);
    return SourceFile{url, stem + ".tif", stem + ".sea.tif", window};
}

bool TileCache::Holds(const SourceFile& file)
{
    return FileExists(file.file) || FileExists(file.absentFile);
}

const std::string& TileCache::Readable(const SourceFile& file)
{
    return FileExists(file.file) ? file.file : file.absentFile;
}

std::string TileCache::TemporaryName(const std::string& path)
{
    return PartialName(path);
}

// Asked before the first download, so that a worker given a cache it cannot write says so
// once instead of failing on every tile.
CommandStatus TileCache::PrepareForWriting(std::string* reason) const
{
    if (offline)
    {
        *reason = "the cache '" + folder + "' is only read offline";
        return CommandStatus::Usage;
    }
    std::error_code failure;
    fs::create_directories(folder, failure);
    int error = failure.value();
    if (!failure && access(folder.c_str(), W_OK) != 0)
        error = errno;
    if (error != 0)
    {
        *reason = "the cache '" + folder + "' cannot be written (" + std::generic_category().message(error) + "): point FLIGHTREPLAY_CACHE at a writable folder, or pass --offline to use it as it is";
        return WriteFailureStatus(error);
    }
    RemoveLeftovers();
    return CommandStatus::Done;
}

bool TileCache::MakeFolderFor(const SourceFile& file) const
{
    if (offline)
        return false;
    std::error_code failure;
    fs::create_directories(fs::path(file.file).parent_path(), failure);
    return !failure;
}

bool TileCache::MarkAbsent(const SourceFile& file) const
{
    if (offline)
        return false;
    const std::string partial = TemporaryName(file.absentFile);
    FILE* marker = fopen(partial.c_str(), "wb");
    if (marker && fclose(marker) == 0 && rename(partial.c_str(), file.absentFile.c_str()) == 0)
        return true;
    remove(partial.c_str());
    return false;
}

// A fetch that was killed leaves its half-written downloads (NAME.partial-PID-COUNT) and, from
// older versions, a staging folder (staging-PID) behind. They are never read, but they would
// pile up: the next fetch that writes removes those of processes that are gone. Only after an
// hour, since a cache shared between machines may hold another machine's live download under
// a number that is free here.
void TileCache::RemoveLeftovers() const
{
    const auto leftover = [](const fs::directory_entry& entry) {
        const std::string name = entry.path().filename().string();
        size_t mark = name.rfind(".partial-");
        mark = mark != std::string::npos ? mark + 9 : name.rfind("staging-", 0) == 0 ? 8 : std::string::npos;
        if (mark == std::string::npos || mark >= name.size())
            return false;
        const size_t end = std::min(name.find('-', mark), name.size());
        if (end == mark || end - mark > 9 || name.find_first_not_of("0123456789", mark) < end)
            return false;
        if (end < name.size() && (end + 1 == name.size() || name.find_first_not_of("0123456789", end + 1) != std::string::npos))
            return false;
        std::error_code failure;
        const auto age = fs::file_time_type::clock::now() - entry.last_write_time(failure);
        return !failure && age > std::chrono::hours(1) && kill(static_cast<pid_t>(std::stol(name.substr(mark, end - mark))), 0) != 0 && errno == ESRCH;
    };
    std::error_code failure;
    std::vector<fs::path> gone;
    for (fs::recursive_directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure))
        if (leftover(*it))
        {
            gone.push_back(it->path());
            if (it->is_directory(failure))
                it.disable_recursion_pending();
        }
    for (const fs::path& path : gone)
        fs::remove_all(path, failure);
}
