#include <cstdio>
#include <sys/stat.h>

#include "world/TileSources.h"

// A folder of tiles as a web map names them: LEVEL/COLUMN/ROW.jpg (.jpeg, .png), rows from
// the north, or from the south for a TMS folder.
class FolderTileSource : public TileSource
{
public:
    FolderTileSource(const std::string& folder, bool tms) : folder(folder), tms(tms) {}

    bool Fetch(const ImageryTileId& tile, std::string* jpeg) override
    {
        const int64_t row = tms ? TileRowFromSouth(tile) : tile.row;
        for (const char* extension : {"jpg", "jpeg", "png"})
        {
            char name[80];
            snprintf(name, sizeof name, "/%d/%lld/%lld.%s", tile.level, static_cast<long long>(tile.column), static_cast<long long>(row), extension);
            std::string bytes;
            if (ReadFileBytes(folder + name, &bytes))
            {
                *jpeg = TileAsJpeg(bytes);
                if (jpeg->empty())
                    fprintf(stderr, "imagery: '%s%s' is no JPEG or PNG image\n", folder.c_str(), name);
                return !jpeg->empty();
            }
        }
        return false;
    }

private:
    std::string folder;
    bool tms;
};

bool IsTileFolder(const std::string& location)
{
    struct stat status;
    return stat(location.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::unique_ptr<Source> OpenTileFolder(const SourceAddress& address, std::string*)
{
    return std::make_unique<FolderTileSource>(address.location, address.tms);
}
