#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "export/FlightExport.h"
#include "plan/FlightPlan.h"

// A flight as a web page: a folder whose index.html replays it in any current browser, from
// a file or a static server, with nothing fetched from outside the folder. The browser's
// 3-D library is copied in from the system's packaged copy; the ground is the world's own
// elevation tiles and imagery from the working directory, as the player draws them, chosen
// along the flight within a size limit.

struct PageOptions
{
    double maxMegabytes = 50.0;    // the whole folder's size limit
    std::vector<double> detailAt;  // flight seconds (from the first row) to draw finely around
    GroundHeight ground;           // the drawn ground's height at a place, NaN where there is none
    std::string libraryFolder = "/usr/share/javascript/three"; // the packaged 3-D library
};

// A tile of ground in the page: an imagery tile's square at its level, with its heights.
struct PageTile
{
    int level = 0;
    int64_t row = 0;
    int64_t column = 0;
    bool operator<(const PageTile& other) const
    {
        return level != other.level ? level < other.level : row != other.row ? row < other.row : column < other.column;
    }
};

// What went into a page, for the command's report.
struct PageSummary
{
    size_t tiles[6] = {};      // ground tiles at levels 13 .. 18
    size_t withoutImagery = 0; // tiles drawn in a plain colour: their imagery file is missing
    size_t groundBytes = 0;
    size_t totalBytes = 0;
};

using ExportFiles = std::vector<std::pair<std::string, std::string>>; // name in the folder, bytes

// The tiles to draw, in the order they are wanted: the coarsest level along the whole flight
// first (false, with *error, when that alone would not fit in `budget` bytes), then the finer
// levels around the take-off, the landing and each detailAt second, then finer levels along the
// flight; each tile costs what `cost` says, and those past the budget are left out.
// `cost` is 0 for a tile with no ground at all (no heights, no imagery), which is left out.
bool ChoosePageTiles(const std::vector<ExportPoint>& points, const std::vector<double>& detailAt, size_t budget,
                     const std::function<size_t(const PageTile&)>& cost, std::vector<PageTile>* tiles, std::string* error);

// The page's files: index.html, the library, the page's script, the flight and its ground.
bool WritePage(const ExportInput& input, const PageOptions& options, ExportFiles* files, PageSummary* summary, std::string* error);
