#include "world/RemoteRaster.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <sys/stat.h>

#include <cpl_conv.h>
#include <cpl_vsi.h>

// GDAL's name for the files of this handler: the prefix, then the URL.
static const char* const Prefix = "/vsiflightreplay/";
// Bytes a range request asks for at least: a cloud-optimised GeoTIFF's header and tile
// index lie in its first few kilobytes, and its tiles are read whole.
static const uint64_t BlockBytes = 65536;
// Blocks kept in memory in all; beyond it those of other files are let go.
static const uint64_t CachedBytesLimit = 64u << 20;

struct RemoteFile
{
    std::string url;
    HttpResult probe;
    std::map<uint64_t, std::string> blocks; // by index; each BlockBytes long but the last
};

struct RemoteRasters::State
{
    HttpClient* http;
    std::string prefix; // GDAL's names of this set's files start with it
    std::map<std::string, RemoteFile> files; // by URL
    uint64_t cachedBytes = 0;
    std::string readError;
    bool readRefused = false;

    // The file GDAL's name stands for, when it was probed and is there. GDAL hands the
    // callbacks the name without the prefix.
    RemoteFile* Find(const char* name)
    {
        if (strncmp(name, prefix.c_str(), prefix.size()) == 0)
            name += prefix.size();
        const auto found = files.find(name);
        return found != files.end() && found->second.probe.status == 200 && found->second.probe.size >= 0 ? &found->second : nullptr;
    }

    // Brings the blocks holding bytes [offset, offset + length) into memory: one range
    // request for each run of missing ones. False, with readError, when one failed.
    bool Fill(RemoteFile& file, uint64_t offset, uint64_t length)
    {
        const uint64_t size = static_cast<uint64_t>(file.probe.size);
        const uint64_t last = (offset + length - 1) / BlockBytes;
        for (uint64_t block = offset / BlockBytes; block <= last; ++block)
        {
            if (file.blocks.count(block))
                continue;
            uint64_t end = block;
            while (end + 1 <= last && !file.blocks.count(end + 1))
                ++end;
            const uint64_t from = block * BlockBytes, to = std::min(size, (end + 1) * BlockBytes);
            if (cachedBytes + (to - from) > CachedBytesLimit)
                LetGoOfOthers(file);
            std::string bytes;
            const HttpResult result = http->ReadRange(file.url, from, static_cast<size_t>(to - from), &bytes);
            if (!result.error.empty() || result.status != 206 || bytes.size() != to - from)
            {
                readError = result.status == 206 && result.error.empty() ? "the range came " + std::to_string(bytes.size()) + " bytes long, not " + std::to_string(to - from) : result.Reason();
                readRefused = result.Refused();
                return false;
            }
            // A page where the raster should be (a login, an error served with 200) is the
            // source's answer, not a raster GDAL cannot read.
            if (const std::string kind = ContentKind(bytes.substr(0, 64)); block == 0 && kind != "TIFF")
            {
                readError = "answered " + kind + " where a GeoTIFF should be";
                readRefused = true;
                return false;
            }
            for (uint64_t at = block; at <= end; ++at)
                file.blocks[at] = bytes.substr((at - block) * BlockBytes, BlockBytes);
            cachedBytes += bytes.size();
            block = end;
        }
        return true;
    }

    void LetGoOfOthers(const RemoteFile& kept)
    {
        for (auto& [url, file] : files)
            if (&file != &kept)
            {
                for (const auto& [index, block] : file.blocks)
                    cachedBytes -= block.size();
                file.blocks.clear();
            }
    }
};

namespace
{

struct Handle
{
    RemoteRasters::State* state;
    RemoteFile* file;
    uint64_t offset = 0;
    bool end = false;
};

// GDAL hands every callback the state its handler was installed with: null once that set of
// rasters is gone.
int Stat(void* user, const char* name, VSIStatBufL* status, int)
{
    RemoteRasters::State* state = static_cast<RemoteRasters::State*>(user);
    const RemoteFile* file = state ? state->Find(name) : nullptr;
    if (!file)
        return -1;
    memset(status, 0, sizeof *status);
    status->st_size = static_cast<decltype(status->st_size)>(file->probe.size);
    status->st_mode = S_IFREG | 0444;
    return 0;
}

void* Open(void* user, const char* name, const char* access)
{
    RemoteRasters::State* state = static_cast<RemoteRasters::State*>(user);
    RemoteFile* file = state && access && access[0] == 'r' && !strchr(access, '+') ? state->Find(name) : nullptr;
    return file ? new Handle{state, file} : nullptr;
}

vsi_l_offset Tell(void* handle)
{
    return static_cast<Handle*>(handle)->offset;
}

int Seek(void* opened, vsi_l_offset offset, int whence)
{
    Handle* handle = static_cast<Handle*>(opened);
    const uint64_t size = static_cast<uint64_t>(handle->file->probe.size);
    handle->offset = whence == SEEK_END ? size + offset : whence == SEEK_CUR ? handle->offset + offset : offset;
    handle->end = false;
    return 0;
}

size_t Read(void* opened, void* buffer, size_t size, size_t count)
{
    Handle* handle = static_cast<Handle*>(opened);
    const uint64_t fileSize = static_cast<uint64_t>(handle->file->probe.size);
    const uint64_t wanted = static_cast<uint64_t>(size) * count;
    const uint64_t length = handle->offset < fileSize ? std::min(wanted, fileSize - handle->offset) : 0;
    if (size == 0 || length == 0 || !handle->state->Fill(*handle->file, handle->offset, length))
    {
        handle->end = true;
        return 0;
    }
    char* into = static_cast<char*>(buffer);
    for (uint64_t done = 0; done < length;)
    {
        const uint64_t at = handle->offset + done;
        const std::string& block = handle->file->blocks.at(at / BlockBytes);
        const uint64_t piece = std::min<uint64_t>(length - done, block.size() - at % BlockBytes);
        memcpy(into + done, block.data() + at % BlockBytes, piece);
        done += piece;
    }
    handle->offset += length;
    handle->end = length < wanted;
    return static_cast<size_t>(length / size);
}

int AtEnd(void* handle)
{
    return static_cast<Handle*>(handle)->end ? 1 : 0;
}

int Close(void* handle)
{
    delete static_cast<Handle*>(handle);
    return 0;
}

// A remote raster comes alone: no .aux.xml, .ovr or .msk is asked for beside it.
char** NoSiblings(void*, const char*)
{
    return static_cast<char**>(CPLCalloc(1, sizeof(char*)));
}

// Installs the handler of the prefix with `state` for its callbacks. GDAL keeps a handler for
// the process's life (it has no way to remove one) and copies the table it is given.
void InstallHandler(const std::string& prefix, RemoteRasters::State* state)
{
    VSIFilesystemPluginCallbacksStruct* callbacks = VSIAllocFilesystemPluginCallbacksStruct();
    callbacks->pUserData = state;
    callbacks->stat = Stat;
    callbacks->open = Open;
    callbacks->tell = Tell;
    callbacks->seek = Seek;
    callbacks->read = Read;
    callbacks->eof = AtEnd;
    callbacks->close = Close;
    callbacks->sibling_files = NoSiblings;
    VSIInstallPluginHandler(prefix.c_str(), callbacks);
    VSIFreeFilesystemPluginCallbacksStruct(callbacks);
}

} // namespace

RemoteRasters::RemoteRasters(HttpClient& http) : state(std::make_unique<State>())
{
    state->http = &http;
    // A prefix of its own, never used again in the process: GDAL can neither remove a
    // handler nor replace one without losing it, and several sets may be open at once. Only
    // this set's GdalPath names files under it, so none is opened after the set is gone.
    static std::atomic<unsigned> sets{0};
    state->prefix = Prefix + std::to_string(++sets) + "/";
    InstallHandler(state->prefix, state.get());
}

RemoteRasters::~RemoteRasters() = default;

const HttpResult& RemoteRasters::Probe(const std::string& url)
{
    RemoteFile& file = state->files[url];
    if (file.url.empty())
    {
        file.url = url;
        file.probe = state->http->Probe(url);
    }
    return file.probe;
}

std::string RemoteRasters::GdalPath(const std::string& url) const
{
    return state->prefix + url;
}

const std::string& RemoteRasters::ReadError() const
{
    return state->readError;
}

bool RemoteRasters::ReadRefused() const
{
    return state->readRefused;
}
