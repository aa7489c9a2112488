#include "terrain/FlightCorridor.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <tuple>

#include "geo/MapProjection.h"
#include "terrain/RingTiles.h"

namespace
{

int64_t WrapGridColumn(int64_t column)
{
    return ((column % TileScale) + TileScale) % TileScale;
}

} // namespace

int64_t CoarserTile(int64_t tile, int32_t levels)
{
    const int64_t s = int64_t{1} << levels;
    return tile >= 0 ? tile / s : -((s - 1 - tile) / s);
}

std::vector<GridTile> GridTilesUnder(const std::vector<double>& latitudes, const std::vector<double>& longitudes)
{
    std::vector<GridTile> tiles;
    std::set<std::pair<int64_t, int64_t>> seen;
    for (size_t n = 0; n < latitudes.size() && n < longitudes.size(); ++n)
    {
        const double row = std::floor(MercatorY(latitudes[n]) * TileScale);
        const double column = std::floor(LongitudeX(longitudes[n]) * TileScale);
        // Positions beyond the map's latitudes or nowhere near the grid have no tiles.
        if (!(row >= 0.0 && row < TileScale && std::fabs(column) < 4.0 * TileScale))
            continue;
        const GridTile tile{static_cast<int64_t>(row), static_cast<int64_t>(column)};
        if (seen.insert({tile.row, tile.column}).second)
            tiles.push_back(tile);
    }
    return tiles;
}

std::vector<ImageryTileId> CorridorImageryTiles(int32_t CI, int32_t CJ, const std::vector<GridTile>& flight)
{
    std::vector<ImageryTileId> tiles;
    std::set<std::tuple<int32_t, int64_t, int64_t>> seen;
    auto add = [&](int32_t level, int64_t row, int64_t column) {
        if (row < 0 || row >= (int64_t{1} << level))
            return;
        if (seen.insert({level, row, column}).second)
            tiles.push_back(ImageryTileId{level, row, column});
    };
    for (const ImageryTileId& tile : RingImageryTiles(CI, CJ))
        add(tile.level, tile.row, tile.column);
    for (int32_t level = FinestLevel; level >= CoarsestLevel; --level)
    {
        // Neighbouring positions share their level's tile: take each once before its square.
        std::set<std::pair<int64_t, int64_t>> centres;
        for (const GridTile& position : flight)
        {
            const std::pair<int64_t, int64_t> centre{CoarserTile(position.row, FinestLevel - level), CoarserTile(position.column, FinestLevel - level)};
            if (!centres.insert(centre).second)
                continue;
            for (int64_t i = -CorridorReach; i <= CorridorReach; ++i)
                for (int64_t j = -CorridorReach; j <= CorridorReach; ++j)
                    add(level, centre.first + i, centre.second + j);
        }
    }
    return tiles;
}

std::vector<ImageryTileId> CorridorImageryTiles(const std::vector<FlightTiles>& flights)
{
    std::vector<ImageryTileId> tiles;
    std::set<std::tuple<int32_t, int64_t, int64_t>> seen;
    for (const FlightTiles& flight : flights)
        for (const ImageryTileId& tile : CorridorImageryTiles(flight.CI, flight.CJ, flight.under))
            if (seen.insert({tile.level, tile.row, tile.column}).second)
                tiles.push_back(tile);
    return tiles;
}

std::vector<ElevationTileId> CorridorElevationTiles(int32_t CI, int32_t CJ, const std::vector<ImageryTileId>& corridorImagery)
{
    return CorridorElevationTiles(std::vector<FlightTiles>{FlightTiles{CI, CJ, {}}}, corridorImagery);
}

std::vector<ElevationTileId> CorridorElevationTiles(const std::vector<FlightTiles>& flights, const std::vector<ImageryTileId>& corridorImagery)
{
    std::vector<ElevationTileId> tiles;
    std::set<std::pair<int32_t, int32_t>> seen;
    auto add = [&](int32_t tileRow, int32_t tileColumn) {
        if (seen.insert({tileRow, tileColumn}).second)
            tiles.push_back(ElevationTileId{tileRow, tileColumn});
    };
    for (const FlightTiles& flight : flights)
        for (const ElevationTileId& tile : RingElevationTiles(flight.CI, flight.CJ))
            add(tile.tileRow, tile.tileColumn);
    for (const ImageryTileId& tile : corridorImagery)
    {
        const int64_t s = int64_t{1} << (FinestLevel - tile.level);
        // The tile's grid points run from its corner to the next tile's, both edges included;
        // a south edge on the grid's last row lies off the grid and reads no file.
        const int64_t firstRow = tile.row * s;
        const int64_t lastRow = std::min<int64_t>(firstRow + s, TileScale - 1);
        for (int64_t row = firstRow / ElevationTileSize; row <= lastRow / ElevationTileSize; ++row)
        {
            const int64_t firstColumn = tile.column * s;
            for (int64_t column = firstColumn; column <= firstColumn + s; column += ElevationTileSize)
                add(static_cast<int32_t>(row), static_cast<int32_t>(WrapGridColumn(column) / ElevationTileSize));
            add(static_cast<int32_t>(row), static_cast<int32_t>(WrapGridColumn(firstColumn + s) / ElevationTileSize));
        }
    }
    return tiles;
}

std::vector<GridTile> TilesUnderFlights(const std::vector<FlightRows>& flights)
{
    std::vector<double> latitudes;
    std::vector<double> longitudes;
    for (const FlightRows& flight : flights)
        for (const SampleRow& row : flight)
        {
            latitudes.push_back(row.gps_curlat / 60.0);
            longitudes.push_back(row.gps_curlon / 60.0);
        }
    return GridTilesUnder(latitudes, longitudes);
}

FlightTiles TilesOfFlight(const FlightRows& flight, const MapFrameValues& frame)
{
    return FlightTiles{frame.CI, frame.CJ, TilesUnderFlights({flight})};
}
