#include "world/FlightCoverage.h"

#include <algorithm>
#include <cmath>

#include "geo/MapProjection.h"
#include "terrain/RingTiles.h"

FlightCoverage MeasureFlightCoverage(const std::vector<double>& latitudes, const std::vector<double>& longitudes, int32_t CI, int32_t CJ, double metresPerTile)
{
    FlightCoverage coverage;
    // Tile numbers leave int32 only for a centre at a pole, where no flight is.
    for (const RingSquare& square : RingSquares(CI, CJ))
        coverage.levels.push_back(LevelCoverage{square.level, TileRange{square.level, static_cast<int32_t>(square.firstRow), static_cast<int32_t>(square.lastRow), static_cast<int32_t>(square.firstColumn), static_cast<int32_t>(square.lastColumn)}, 0.0, 0});
    for (LevelCoverage& level : coverage.levels)
        level.sideKilometres = (level.tiles.lastRow - level.tiles.firstRow + 1.0) * (1 << (FinestLevel - level.level)) * metresPerTile / 1000.0;

    const LevelCoverage& outer = coverage.levels.back();
    const int32_t outerScale = 1 << (FinestLevel - CoarsestLevel);
    GeoBox flight = {90.0, 180.0, -90.0, -180.0};
    coverage.samples = static_cast<int64_t>(latitudes.size());
    for (size_t i = 0; i < latitudes.size(); ++i)
    {
        // Zoom-18 grid position of the sample.
        const double row = MercatorY(latitudes[i]) * TileScale;
        const double column = LongitudeX(longitudes[i]) * TileScale;
        for (LevelCoverage& level : coverage.levels)
        {
            const double scale = 1 << (FinestLevel - level.level);
            if (row >= level.tiles.firstRow * scale && row < (level.tiles.lastRow + 1) * scale && column >= level.tiles.firstColumn * scale && column < (level.tiles.lastColumn + 1) * scale)
                ++level.samples;
        }
        const double beyondRow = std::max({0.0, outer.tiles.firstRow * static_cast<double>(outerScale) - row, row - (outer.tiles.lastRow + 1.0) * outerScale});
        const double beyondColumn = std::max({0.0, outer.tiles.firstColumn * static_cast<double>(outerScale) - column, column - (outer.tiles.lastColumn + 1.0) * outerScale});
        if (beyondRow > 0.0 || beyondColumn > 0.0)
        {
            ++coverage.outside;
            coverage.farthestKilometres = std::max(coverage.farthestKilometres, std::hypot(beyondRow, beyondColumn) * metresPerTile / 1000.0);
        }
        flight = GeoBox{std::min(flight.south, latitudes[i]), std::min(flight.west, longitudes[i]), std::max(flight.north, latitudes[i]), std::max(flight.east, longitudes[i])};
    }
    if (coverage.samples > 0)
    {
        coverage.flightTiles = TilesOfBox(flight, CoarsestLevel);
        coverage.flightBox = BoxOfTiles(coverage.flightTiles);
    }
    return coverage;
}
