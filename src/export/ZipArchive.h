#pragma once
#include <string>
#include <vector>

// A zip archive in memory, of the kind KMZ files and zipped ACMI are: each file stored
// whole (no compression), with its CRC-32, which every unzipper reads.
class ZipArchive
{
public:
    void Add(const std::string& name, const std::string& bytes);
    // The archive's bytes.
    std::string Bytes() const;

private:
    struct Entry
    {
        std::string name;
        std::string bytes;
        unsigned long crc = 0;
    };
    std::vector<Entry> entries;
};
