#include "world/TileSources.h"

#include <fstream>
#include <sstream>

#include <osgDB/ReaderWriter>
#include <osgDB/Registry>

#include "world/ImageryImport.h"

// Each kind's recogniser and constructor, defined in the kind's own file.
bool IsTileFolder(const std::string& location);
std::unique_ptr<Source> OpenTileFolder(const SourceAddress& address, std::string* reason);
bool IsMBTilesFile(const std::string& location);
std::unique_ptr<Source> OpenMBTiles(const SourceAddress& address, std::string* reason);
bool IsAnyPath(const std::string& location);
std::unique_ptr<Source> OpenRasterImagery(const SourceAddress& address, std::string* reason);
bool IsXyzTemplate(const std::string& location);
std::unique_ptr<Source> OpenXyzTiles(const SourceAddress& address, std::string* reason);
bool IsAnyUrl(const std::string& location);
std::unique_ptr<Source> OpenDemSquares(const SourceAddress& address, std::string* reason);

const std::vector<SourceKind>& SourceKinds()
{
    // A raster is whatever else a path names, and squares of elevation whatever else a URL
    // does: a new kind goes before them.
    static const std::vector<SourceKind> kinds = {
        {"tile folder", SourceRole::Imagery, IsTileFolder, OpenTileFolder},
        {"MBTiles file", SourceRole::Imagery, IsMBTilesFile, OpenMBTiles},
        {"raster", SourceRole::Imagery, IsAnyPath, OpenRasterImagery},
        {"XYZ tiles", SourceRole::RemoteImagery, IsXyzTemplate, OpenXyzTiles},
        {"elevation squares", SourceRole::RemoteElevation, IsAnyUrl, OpenDemSquares},
    };
    return kinds;
}

const SourceKind* SourceKindOf(const std::string& location, SourceRole role)
{
    for (const SourceKind& kind : SourceKinds())
        if (kind.role == role && kind.recognises(location))
            return &kind;
    return nullptr;
}

// The row's role says which face its constructor makes.
template <class Face>
static std::unique_ptr<Face> OpenAs(const SourceAddress& address, SourceRole role, std::string* reason)
{
    const SourceKind* kind = SourceKindOf(address.location, role);
    if (!kind)
    {
        *reason = "no kind of source takes '" + address.location + "'";
        return nullptr;
    }
    return std::unique_ptr<Face>(static_cast<Face*>(kind->open(address, reason).release()));
}

std::unique_ptr<TileSource> OpenTileSource(const SourceAddress& address, std::string* reason)
{
    return OpenAs<TileSource>(address, SourceRole::Imagery, reason);
}

std::unique_ptr<RemoteImagery> OpenRemoteImagery(const SourceAddress& address, std::string* reason)
{
    return OpenAs<RemoteImagery>(address, SourceRole::RemoteImagery, reason);
}

std::unique_ptr<RemoteElevation> OpenRemoteElevation(const SourceAddress& address, std::string* reason)
{
    return OpenAs<RemoteElevation>(address, SourceRole::RemoteElevation, reason);
}

bool ReadFileBytes(const std::string& path, std::string* bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream content;
    content << file.rdbuf();
    *bytes = content.str();
    return true;
}

std::string ReplaceField(std::string text, const std::string& field, const std::string& value)
{
    for (size_t at = text.find(field); at != std::string::npos; at = text.find(field, at + value.size()))
        text.replace(at, field.size(), value);
    return text;
}

std::string TileAsJpeg(const std::string& bytes)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 3 && byte(0) == 0xFF && byte(1) == 0xD8 && byte(2) == 0xFF)
        return bytes;
    if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return std::string();
    osgDB::ReaderWriter* reader = osgDB::Registry::instance()->getReaderWriterForExtension("png");
    if (!reader)
        return std::string();
    std::istringstream stream(bytes);
    osgDB::ReaderWriter::ReadResult result = reader->readImage(stream);
    if (!result.validImage())
        return std::string();
    return EncodeJpeg(*result.getImage());
}
