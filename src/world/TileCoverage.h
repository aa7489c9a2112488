#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Which heights of an elevation tile are known. The tile file holds plain int16 metres and
// no no-data value, and the replay reads it as it is; so the data tool keeps, beside every
// tile it writes, a coverage file "zsi-R-C.egm.cov" with one quality byte per sample. The
// replay never reads it. It lets a later import merge instead of overwrite: a point is only
// ever replaced by data of the same quality or better.
//
// Coverage file layout: the 8 bytes "FRCOV1\n\0", the FNV-1a 64-bit hash of the tile file's
// 2101250 bytes (little-endian), then 1025 x 1025 quality bytes in the tile's order.

// Quality of one height, ordered: a higher one is better data.
enum class HeightQuality : uint8_t
{
    None = 0,     // no source had data: the height is 0 m (or what the tile held before)
    Filled = 1,   // interpolated across a void of the raster from the valid points around it
    Measured = 2, // from the raster's own valid pixels
};

// Where the qualities of an existing tile came from.
enum class CoverageOrigin
{
    NoTile,       // no tile file: every point None, heights 0
    CoverageFile, // the tile's coverage file, written with exactly these tile bytes
    Judged,       // no (matching) coverage file: non-zero heights count as Measured, zeros as
                  // None, since 0 m is what the replay shows and older imports wrote for "no data"
};

// One elevation tile as the data tool sees it: heights and their qualities, 1025 x 1025 each,
// rows north to south.
struct CoveredTile
{
    std::vector<int16_t> heights;
    std::vector<HeightQuality> qualities;
    CoverageOrigin origin = CoverageOrigin::NoTile;
};

// Name of the coverage file of a tile file name.
std::string CoverageFileName(const std::string& tileFileName);

// Reads the tile file and its coverage file. A missing tile is an empty tile (NoTile); a
// tile file shorter than 2101250 bytes reads with zeros after its end, as the replay reads it.
// False, with the reason, when the tile file exists but cannot be read.
bool LoadCoveredTile(const std::string& tileFileName, CoveredTile* tile, std::string* reason);

// Writes the tile file, then its coverage file, each through a temporary name and a rename.
// The tile goes first: a failure between the two leaves an older coverage file, whose hash
// no longer matches, so the tile is judged by its heights rather than by stale qualities.
// False, with the file that failed, when a write fails.
bool WriteCoveredTile(const std::string& tileFileName, const CoveredTile& tile, std::string* failedFile);

// Number of points of Filled quality or better.
int64_t CountValidPoints(const CoveredTile& tile);
