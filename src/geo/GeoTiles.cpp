#include "geo/GeoTiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geo/MapProjection.h"
#include "geo/ReplayFiles.h"

bool ParseGeoBox(const char* text, GeoBox* box)
{
    double v[4];
    int used = 0;
    if (sscanf(text, "%lf,%lf,%lf,%lf%n", &v[0], &v[1], &v[2], &v[3], &used) != 4 || text[used] != '\0')
        return false;
    for (double x : v)
        if (!std::isfinite(x))
            return false;
    if (!(v[0] < v[2]) || v[0] < -MapLatitudeLimit || v[2] > MapLatitudeLimit)
        return false;
    if (!(v[1] < v[3]) || v[1] < -540.0 || v[3] > 540.0 || v[3] - v[1] > 360.0)
        return false;
    *box = GeoBox{v[0], v[1], v[2], v[3]};
    return true;
}

// Grid position at a level: the tile number as a real, so the floor is the tile.
static double LevelRow(double latitude, int32_t level)
{
    return MercatorY(latitude) * (TileScale >> (FinestLevel - level));
}

// Unlike LongitudeX, on past +-180 without a wrap: a box across 180 degrees stays one box.
static double LevelColumn(double longitude, int32_t level)
{
    return (longitude + 180.0) / 360.0 * (TileScale >> (FinestLevel - level));
}

TileRange TilesOfBox(const GeoBox& box, int32_t level)
{
    const int32_t last = (TileScale >> (FinestLevel - level)) - 1;
    auto clampTile = [last](double value) { return static_cast<int32_t>(std::clamp(std::floor(value), 0.0, static_cast<double>(last))); };
    // An edge exactly on a tile border does not reach into the next tile.
    auto clampEnd = [last](double value) { return static_cast<int32_t>(std::clamp(std::ceil(value) - 1.0, 0.0, static_cast<double>(last))); };
    TileRange range;
    range.level = level;
    range.firstRow = clampTile(LevelRow(box.north, level));
    range.lastRow = std::max(range.firstRow, clampEnd(LevelRow(box.south, level)));
    range.firstColumn = static_cast<int32_t>(std::floor(LevelColumn(box.west, level)));
    range.lastColumn = std::max(range.firstColumn, static_cast<int32_t>(std::ceil(LevelColumn(box.east, level)) - 1.0));
    return range;
}

int64_t WrapTileColumn(int64_t column, int32_t level)
{
    const int64_t columns = int64_t{1} << level;
    const int64_t wrapped = column % columns;
    return wrapped < 0 ? wrapped + columns : wrapped;
}

GeoBox BoxOfTiles(const TileRange& range)
{
    const double scale = 1 << (FinestLevel - range.level); // zoom-18 tiles per tile
    GeoBox box;
    box.north = GridRowLatitude(range.firstRow * scale);
    box.south = GridRowLatitude((range.lastRow + 1) * scale);
    box.west = GridColumnLongitude(range.firstColumn * scale);
    box.east = GridColumnLongitude((range.lastColumn + 1) * scale);
    return box;
}

GeoBox BoxOfTile(const ImageryTileId& tile)
{
    return BoxOfTiles(TileRange{tile.level, static_cast<int32_t>(tile.row), static_cast<int32_t>(tile.row), static_cast<int32_t>(tile.column), static_cast<int32_t>(tile.column)});
}

std::vector<ElevationTileId> ElevationTilesOfBox(const GeoBox& box)
{
    // The corners of the zoom-18 tiles in the box, grouped by file: the south and east
    // corners of the last tiles are grid points of the next row and column.
    const TileRange cells = TilesOfBox(box, FinestLevel);
    const int32_t lastRow = std::min(cells.lastRow + 1, TileScale - 1);
    // Files of a box past +-180 come from the grid's other end; a box a whole turn wide
    // would name each of them twice.
    const int64_t firstFile = static_cast<int64_t>(std::floor(cells.firstColumn / static_cast<double>(ElevationTileSize)));
    const int64_t lastFile = std::min<int64_t>(static_cast<int64_t>(std::floor((cells.lastColumn + 1) / static_cast<double>(ElevationTileSize))), firstFile + ElevationTilesPerAxis - 1);
    std::vector<ElevationTileId> tiles;
    for (int32_t r = cells.firstRow / ElevationTileSize; r <= lastRow / ElevationTileSize; ++r)
        for (int64_t c = firstFile; c <= lastFile; ++c)
            tiles.push_back(ElevationTileId{r, static_cast<int32_t>((c % ElevationTilesPerAxis + ElevationTilesPerAxis) % ElevationTilesPerAxis)});
    return tiles;
}

std::vector<ImageryTileId> ImageryTilesOfBox(const GeoBox& box)
{
    std::vector<ImageryTileId> tiles;
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        const TileRange range = TilesOfBox(box, level);
        for (int32_t r = range.firstRow; r <= range.lastRow; ++r)
            for (int32_t c = range.firstColumn; c <= range.lastColumn; ++c)
                tiles.push_back(ImageryTileId{level, r, c});
    }
    return tiles;
}
