#include "world/TileCoverage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "geo/ReplayFiles.h"
#include "world/TileFiles.h"

namespace
{

const size_t SampleCount = static_cast<size_t>(ElevationTileSamples) * ElevationTileSamples;
const char CoverageMagic[8] = {'F', 'R', 'C', 'O', 'V', '1', '\n', '\0'};
const size_t CoverageHeaderSize = sizeof CoverageMagic + 8;

// The tile's samples in the file's byte order, little-endian whatever the machine.
std::vector<unsigned char> EncodeHeights(const std::vector<int16_t>& heights)
{
    std::vector<unsigned char> bytes(heights.size() * 2);
    for (size_t i = 0; i < heights.size(); ++i)
    {
        const uint16_t value = static_cast<uint16_t>(heights[i]);
        bytes[2 * i] = static_cast<unsigned char>(value & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(value >> 8);
    }
    return bytes;
}

// FNV-1a, 64 bits: enough to tell whether a coverage file was written with this tile.
uint64_t HashBytes(const std::vector<unsigned char>& bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : bytes)
    {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return hash;
}

// Reads at most `size` bytes of the file into `bytes` (resized to what was read). False on
// an open or read error, with errno's text as the reason.
bool ReadPrefix(const std::string& path, size_t size, std::vector<unsigned char>* bytes, std::string* reason)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
    {
        *reason = strerror(errno);
        return false;
    }
    bytes->assign(size, 0);
    const size_t got = fread(bytes->data(), 1, size, file);
    const bool failed = ferror(file) != 0;
    const int error = errno;
    fclose(file);
    if (failed)
    {
        *reason = strerror(error);
        return false;
    }
    bytes->resize(got);
    return true;
}

} // namespace

std::string CoverageFileName(const std::string& tileFileName)
{
    return tileFileName + ".cov";
}

bool LoadCoveredTile(const std::string& tileFileName, CoveredTile* tile, std::string* reason)
{
    tile->heights.assign(SampleCount, 0);
    tile->qualities.assign(SampleCount, HeightQuality::None);
    tile->origin = CoverageOrigin::NoTile;
    if (!FileExists(tileFileName))
    {
        // fopen would open a directory of that name: the replay then fails to read it, and
        // so must we rather than take it for no tile.
        FILE* probe = fopen(tileFileName.c_str(), "rb");
        if (!probe)
            return true;
        fclose(probe);
        *reason = "it is no regular file";
        return false;
    }

    std::vector<unsigned char> bytes;
    if (!ReadPrefix(tileFileName, 2 * SampleCount, &bytes, reason))
        return false;
    bytes.resize(2 * SampleCount, 0); // a short tile reads as zeros after its end
    for (size_t i = 0; i < SampleCount; ++i)
        tile->heights[i] = static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8));

    std::vector<unsigned char> coverage;
    std::string ignored;
    const std::string coverageName = CoverageFileName(tileFileName);
    uint64_t storedHash = 0;
    bool matches = FileExists(coverageName) && ReadPrefix(coverageName, CoverageHeaderSize + SampleCount, &coverage, &ignored) && coverage.size() == CoverageHeaderSize + SampleCount && memcmp(coverage.data(), CoverageMagic, sizeof CoverageMagic) == 0;
    if (matches)
    {
        for (int b = 0; b < 8; ++b)
            storedHash |= static_cast<uint64_t>(coverage[sizeof CoverageMagic + b]) << (8 * b);
        matches = storedHash == HashBytes(bytes);
    }
    if (matches)
    {
        for (size_t i = 0; i < SampleCount; ++i)
        {
            const unsigned char q = coverage[CoverageHeaderSize + i];
            tile->qualities[i] = q >= 2 ? HeightQuality::Measured : (q == 1 ? HeightQuality::Filled : HeightQuality::None);
        }
        tile->origin = CoverageOrigin::CoverageFile;
    }
    else
    {
        for (size_t i = 0; i < SampleCount; ++i)
            tile->qualities[i] = tile->heights[i] != 0 ? HeightQuality::Measured : HeightQuality::None;
        tile->origin = CoverageOrigin::Judged;
    }
    return true;
}

bool WriteCoveredTile(const std::string& tileFileName, const CoveredTile& tile, std::string* failedFile)
{
    const std::vector<unsigned char> bytes = EncodeHeights(tile.heights);
    if (!WriteFileAtomically(tileFileName, bytes.data(), bytes.size()))
    {
        *failedFile = tileFileName;
        return false;
    }
    std::vector<unsigned char> coverage(CoverageHeaderSize + SampleCount);
    memcpy(coverage.data(), CoverageMagic, sizeof CoverageMagic);
    const uint64_t hash = HashBytes(bytes);
    for (int b = 0; b < 8; ++b)
        coverage[sizeof CoverageMagic + b] = static_cast<unsigned char>(hash >> (8 * b));
    for (size_t i = 0; i < SampleCount; ++i)
        coverage[CoverageHeaderSize + i] = static_cast<unsigned char>(tile.qualities[i]);
    const std::string coverageName = CoverageFileName(tileFileName);
    if (!WriteFileAtomically(coverageName, coverage.data(), coverage.size()))
    {
        *failedFile = coverageName;
        return false;
    }
    return true;
}

int64_t CountValidPoints(const CoveredTile& tile)
{
    int64_t count = 0;
    for (HeightQuality quality : tile.qualities)
        count += quality != HeightQuality::None ? 1 : 0;
    return count;
}
