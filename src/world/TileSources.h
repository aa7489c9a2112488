#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geo/GeoTiles.h"
#include "world/TileCache.h"

class HttpClient;
class RemoteRasters;

// Where the world's data come from. Local sources hand out the replay's imagery tiles as
// JPEG; remote ones are fetched file by file into the cache (TileCache.h), from which the
// imports then read. Every kind is one row of SourceKinds() (TileSources.cpp): how it is
// recognised by its path or URL, and its constructor; each kind lives in a file of its own.

class Source
{
public:
    virtual ~Source() = default;
};

// A source of replay tiles by their level, row from the north and column. Fetch gives the
// tile's JPEG bytes, or false when the source does not hold it (or it does not decode).
class TileSource : public Source
{
public:
    virtual bool Fetch(const ImageryTileId& tile, std::string* jpeg) = 0;
};

// How a download from a remote source ended. Refused: the source's own answer (a refusal, a
// page or a raster that cannot serve), which no retry changes; Failed: the network's or the
// disk's, which a retry may mend.
enum class Outcome { Saved, Absent, Failed, Refused };

// What a remote source is fetched through: one client, one connection, its manners.
struct Network
{
    HttpClient& http;
    RemoteRasters& rasters;
};

// A source over the network, whose files are kept in the cache.
class RemoteSource : public Source
{
public:
    // The download as a listing names it: the URL, and the window of a raster.
    virtual std::string Describe(const SourceFile& file) const = 0;
    // Bytes the file is likely to take, for a dry run's estimate.
    virtual double BytesEstimate(const SourceFile& file) const = 0;
    // Puts the file in the cache: its data (Saved), or what stands for data the source lacks
    // (Absent); otherwise nothing, with the reason in *error.
    virtual Outcome Download(const SourceFile& file, Network& network, std::string* error) = 0;
};

// Imagery served as tiles of a zoom level by (z, x, y). A replay tile finer than the source
// goes is cut from the source tile that holds it.
class RemoteImagery : public RemoteSource
{
public:
    // The source tile a replay tile is made from.
    virtual SourceFile FileOf(const ImageryTileId& tile) const = 0;
    // The replay's tiles as the cache now holds them, for the import.
    virtual std::unique_ptr<TileSource> FromCache() const = 0;
};

// Elevation served as rasters of squares, read in windows.
class RemoteElevation : public RemoteSource
{
public:
    // The windows an elevation tile needs, one for each square it meets.
    virtual std::vector<SourceFile> FilesOf(ElevationTileId tile) const = 0;
};

// What a source is to serve.
enum class SourceRole
{
    Imagery,         // replay tiles from a local path
    RemoteImagery,   // a URL template of imagery
    RemoteElevation, // a URL template of elevation
};

// A path or URL and what its kind needs besides.
struct SourceAddress
{
    std::string location;
    bool tms = false;           // a tile folder's rows counted from the south
    int maxZoom = 0;            // remote imagery: the finest level asked of the source
    const TileCache* cache = nullptr; // remote: where its files are kept
};

struct SourceKind
{
    const char* name;
    SourceRole role;
    bool (*recognises)(const std::string& location);
    // Null, with the whole reason in *reason ("cannot read 'X' as ..."), when it cannot serve.
    std::unique_ptr<Source> (*open)(const SourceAddress& address, std::string* reason);
};

// The kinds in the order they are tried: the first of a role that recognises a location is its.
const std::vector<SourceKind>& SourceKinds();
// The kind of the location for the role; null when no kind takes it.
const SourceKind* SourceKindOf(const std::string& location, SourceRole role);

// The source at the address as its kind opens it; null, with the reason, when it cannot.
std::unique_ptr<TileSource> OpenTileSource(const SourceAddress& address, std::string* reason);
std::unique_ptr<RemoteImagery> OpenRemoteImagery(const SourceAddress& address, std::string* reason);
std::unique_ptr<RemoteElevation> OpenRemoteElevation(const SourceAddress& address, std::string* reason);

// Shared by the kinds: the bytes of a JPEG file for a tile's picture, JPEG as it is, PNG
// decoded and re-encoded; empty when it is neither or does not decode.
std::string TileAsJpeg(const std::string& bytes);
// The whole file; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string* bytes);
// `{field}` replaced by `value` wherever it stands in a URL template.
std::string ReplaceField(std::string text, const std::string& field, const std::string& value);
// The tile's row counted from the south, as TMS folders and MBTiles files number them.
inline int64_t TileRowFromSouth(const ImageryTileId& tile)
{
    return (int64_t{1} << tile.level) - 1 - tile.row;
}
