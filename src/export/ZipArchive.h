#pragma once
#include <string>
#include <vector>

// A zip archive in memory, of the kind KMZ files and zipped ACMI are: each file deflated, or
// stored whole where deflating would not make it smaller, with its CRC-32, as every unzipper
// reads them.
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
        std::string bytes; // as they go in the archive: deflated when `deflated`
        size_t size = 0;    // of the file itself
        unsigned long crc = 0;
        bool deflated = false;
    };
    std::vector<Entry> entries;
};
