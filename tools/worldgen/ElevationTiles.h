#pragma once
#include <cstdint>
#include <string>
#include <vector>

class Landscape;

// One elevation tile file: 1024 x 1024 zoom-18 grid cells, numbered like the store does
// (grid row / 1024, grid column / 1024).
struct ElevationFile
{
    int32_t tileRow;
    int32_t tileColumn;
};

// The grid rows (and, separately, columns) the terrain rings around (CI, CJ) look heights
// up at: from the north-west corner of the outermost level's 7 x 7 block to its
// south-east corner, both included.
void RingGridSpan(int32_t centre, int32_t& first, int32_t& last);

// The files holding every grid point of the rings, and no other: at most 2 x 2.
std::vector<ElevationFile> RingElevationFiles(int32_t CI, int32_t CJ);

// "zsi-12-34.egm"
std::string ElevationFileName(const ElevationFile& file);

// Height stored for a grid point: the landscape's height there, rounded to whole metres.
int16_t ElevationSample(const Landscape& landscape, int32_t row, int32_t column);

// Writes the file into `folder`: 1025 x 1025 signed 16-bit little-endian heights in
// metres, rows north to south, columns west to east; row and column 1024 repeat the first
// row and column of the neighbours to the south and east. Returns false when it cannot.
bool WriteElevationFile(const Landscape& landscape, const ElevationFile& file, const std::string& folder);
