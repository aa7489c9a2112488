#include "ElevationTiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Landscape.h"
#include "WorldSite.h"

static const int32_t CellsPerFile = 1024;
static const int32_t SamplesPerFile = 1025;

void RingGridSpan(int32_t centre, int32_t& first, int32_t& last)
{
    // The outermost level (13) has tiles of 32 zoom-18 tiles around centre / 32, and
    // reaches 3 tiles to one side and 4 tile edges to the other.
    const int32_t coarseCentre = centre / 32;
    first = (coarseCentre - 3) * 32;
    last = (coarseCentre + 4) * 32;
}

std::vector<ElevationFile> RingElevationFiles(int32_t CI, int32_t CJ)
{
    int32_t firstRow = 0;
    int32_t lastRow = 0;
    int32_t firstColumn = 0;
    int32_t lastColumn = 0;
    RingGridSpan(CI, firstRow, lastRow);
    RingGridSpan(CJ, firstColumn, lastColumn);
    std::vector<ElevationFile> files;
    for (int32_t r = firstRow / CellsPerFile; r <= lastRow / CellsPerFile; ++r)
        for (int32_t c = firstColumn / CellsPerFile; c <= lastColumn / CellsPerFile; ++c)
            files.push_back(ElevationFile{r, c});
    return files;
}

std::string ElevationFileName(const ElevationFile& file)
{
    char name[64];
    snprintf(name, sizeof(name), "zsi-%ld-%ld.egm", static_cast<long>(file.tileRow), static_cast<long>(file.tileColumn));
    return name;
}

static int16_t ToSample(double height)
{
    return static_cast<int16_t>(std::clamp(std::lround(height), -32768L, 32767L));
}

int16_t ElevationSample(const Landscape& landscape, int32_t row, int32_t column)
{
    return ToSample(landscape.Height(EastOfLongitude(GridColumnLongitude(column)), NorthOfLatitude(GridRowLatitude(row))));
}

bool WriteElevationFile(const Landscape& landscape, const ElevationFile& file, const std::string& folder)
{
    const std::string path = folder + "/" + ElevationFileName(file);
    FILE* out = fopen(path.c_str(), "wb");
    if (!out)
    {
        printf("Cannot write '%s'\n", path.c_str());
        return false;
    }
    std::vector<double> east(SamplesPerFile);
    for (int32_t c = 0; c < SamplesPerFile; ++c)
        east[c] = EastOfLongitude(GridColumnLongitude(file.tileColumn * CellsPerFile + c));
    std::vector<unsigned char> line(SamplesPerFile * 2);
    bool ok = true;
    for (int32_t r = 0; r < SamplesPerFile && ok; ++r)
    {
        const double north = NorthOfLatitude(GridRowLatitude(file.tileRow * CellsPerFile + r));
        for (int32_t c = 0; c < SamplesPerFile; ++c)
        {
            // Little-endian whatever the machine: the format fixes the byte order.
            const uint16_t bits = static_cast<uint16_t>(ToSample(landscape.Height(east[c], north)));
            line[c * 2] = static_cast<unsigned char>(bits & 0xFF);
            line[c * 2 + 1] = static_cast<unsigned char>(bits >> 8);
        }
        ok = fwrite(line.data(), 1, line.size(), out) == line.size();
    }
    ok = (fclose(out) == 0) && ok;
    if (!ok)
        printf("Cannot write '%s'\n", path.c_str());
    return ok;
}
