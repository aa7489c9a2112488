#include "export/ZipArchive.h"

#include <cstdint>

#include <zlib.h>

namespace
{
void Put16(std::string& out, uint32_t value)
{
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>((value >> 8) & 0xff);
}

void Put32(std::string& out, uint32_t value)
{
    Put16(out, value & 0xffff);
    Put16(out, value >> 16);
}

// 1980-01-01 00:00 in the archive's DOS date and time: the files carry no date of their own,
// so two exports of one flight give the same bytes.
const uint32_t DosTime = 0;
const uint32_t DosDate = (0 << 9) | (1 << 5) | 1;
} // namespace

void ZipArchive::Add(const std::string& name, const std::string& bytes)
{
    Entry entry{name, bytes, crc32(0L, Z_NULL, 0)};
    entry.crc = crc32(entry.crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    entries.push_back(std::move(entry));
}

// What the local header and the central directory both say of an entry, from the version
// needed to extract it on.
static void PutEntryFields(std::string& out, const std::string& name, const std::string& bytes, unsigned long crc)
{
    Put16(out, 10); // version needed: 1.0, stored
    Put16(out, 0);  // flags
    Put16(out, 0);  // stored
    Put16(out, DosTime);
    Put16(out, DosDate);
    Put32(out, static_cast<uint32_t>(crc));
    Put32(out, static_cast<uint32_t>(bytes.size()));
    Put32(out, static_cast<uint32_t>(bytes.size()));
    Put16(out, static_cast<uint32_t>(name.size()));
    Put16(out, 0); // extra
}

std::string ZipArchive::Bytes() const
{
    std::string out;
    std::string directory;
    for (const Entry& entry : entries)
    {
        const uint32_t offset = static_cast<uint32_t>(out.size());
        Put32(out, 0x04034b50); // local file header
        PutEntryFields(out, entry.name, entry.bytes, entry.crc);
        out += entry.name;
        out += entry.bytes;

        Put32(directory, 0x02014b50); // central directory header
        Put16(directory, 20);         // made by
        PutEntryFields(directory, entry.name, entry.bytes, entry.crc);
        Put16(directory, 0); // comment
        Put16(directory, 0); // disk
        Put16(directory, 0); // internal attributes
        Put32(directory, 0); // external attributes
        Put32(directory, offset);
        directory += entry.name;
    }
    const uint32_t start = static_cast<uint32_t>(out.size());
    out += directory;
    Put32(out, 0x06054b50); // end of central directory
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put16(out, static_cast<uint32_t>(entries.size()));
    Put32(out, static_cast<uint32_t>(directory.size()));
    Put32(out, start);
    Put16(out, 0);
    return out;
}
