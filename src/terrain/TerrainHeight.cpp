#include "terrain/TerrainHeight.h"

#include <cmath>

#include "geo/MapProjection.h"
#include "terrain/ElevationTileStore.h"

TerrainHeight TerrainHeightAtGrid(double row, double column, TileReports reports)
{
    auto heightAt = reports == TileReports::Loud ? ElevationAt : ElevationAtQuietly;
    TerrainHeight result;
    // A column past the grid's ends (a flight across the 180th meridian) is read a whole
    // turn round, as the terrain reads it.
    if (!(row >= 0.0 && row < TileScale && std::fabs(column) < 4.0 * TileScale))
        return result;
    const int32_t r = static_cast<int32_t>(row);
    const double west = std::floor(column);
    const int32_t c = static_cast<int32_t>((static_cast<int64_t>(west) % TileScale + TileScale) % TileScale);
    const int32_t east = c + 1 == TileScale ? 0 : c + 1;
    const double u = row - r;       // southwards within the cell
    const double v = column - west; // eastwards
    int32_t northWest = 0, southWest = 0, southEast = 0, northEast = 0;
    result.covered = heightAt(r, c, &northWest);
    result.covered = heightAt(r + 1, c, &southWest) && result.covered;
    result.covered = heightAt(r + 1, east, &southEast) && result.covered;
    result.covered = heightAt(r, east, &northEast) && result.covered;
    const double centre = (northWest + southWest + southEast + northEast) / 4.0;

    // Which triangle: the cell's diagonals cut it into a west, south, east and north one,
    // each of two corners of an edge and the centre; the point lies in the one whose edge
    // is nearest. Within it the height is linear (barycentric weights).
    const double fromEdge[4] = {v, 1.0 - u, 1.0 - v, u}; // to the west, south, east, north edge
    int32_t side = 0;
    for (int32_t s = 1; s < 4; ++s)
        if (fromEdge[s] < fromEdge[side])
            side = s;
    double along = 0.0; // 0 .. 1 along that edge, from `first` to `second`
    double first = 0.0;
    double second = 0.0;
    switch (side)
    {
    case 0: along = u; first = northWest; second = southWest; break;
    case 1: along = v; first = southWest; second = southEast; break;
    case 2: along = u; first = northEast; second = southEast; break;
    default: along = v; first = northWest; second = northEast; break;
    }
    const double centreWeight = 2.0 * fromEdge[side];
    const double secondWeight = along - fromEdge[side];
    const double firstWeight = 1.0 - centreWeight - secondWeight;
    result.metres = firstWeight * first + secondWeight * second + centreWeight * centre;
    return result;
}

TerrainHeight TerrainHeightAt(double latitude, double longitude)
{
    return TerrainHeightAtGrid(MercatorY(latitude) * TileScale, LongitudeX(longitude) * TileScale);
}
