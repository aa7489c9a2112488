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

// The bytes as a raw deflate stream (zip's method 8); empty when zlib fails.
static std::string Deflated(const std::string& bytes)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::string();
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return done ? out : std::string();
}

void ZipArchive::Add(const std::string& name, const std::string& bytes)
{
    Entry entry{name, bytes, bytes.size(), crc32(0L, Z_NULL, 0), false};
    entry.crc = crc32(entry.crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    std::string deflated = Deflated(bytes);
    if (!deflated.empty() && deflated.size() < bytes.size())
    {
        entry.bytes = std::move(deflated);
        entry.deflated = true;
    }
    entries.push_back(std::move(entry));
}

// What the local header and the central directory both say of an entry, from the version
// needed to extract it on.
static void PutEntryFields(std::string& out, const std::string& name, const std::string& bytes, size_t size, unsigned long crc, bool deflated)
{
    Put16(out, deflated ? 20 : 10); // version needed: 2.0 to inflate, 1.0 for a stored file
    Put16(out, 0);                  // flags
    Put16(out, deflated ? 8 : 0);   // deflated or stored
    Put16(out, DosTime);
    Put16(out, DosDate);
    Put32(out, static_cast<uint32_t>(crc));
    Put32(out, static_cast<uint32_t>(bytes.size()));
    Put32(out, static_cast<uint32_t>(size));
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
        PutEntryFields(out, entry.name, entry.bytes, entry.size, entry.crc, entry.deflated);
        out += entry.name;
        out += entry.bytes;

        Put32(directory, 0x02014b50); // central directory header
        Put16(directory, 20);         // made by
        PutEntryFields(directory, entry.name, entry.bytes, entry.size, entry.crc, entry.deflated);
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
