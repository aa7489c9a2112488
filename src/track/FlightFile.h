#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// A flight file held whole in memory for its readers. A regular file is mapped read-only:
// no copy is made, and its pages come in with one call rather than one fault each, which
// is most of what a conversion's process costs. Anything else (a pipe, a file of /proc, a
// folder) is read through a stream, as far as it reads.
class FlightFile
{
public:
    FlightFile() = default;
    // Bytes in memory under a name, for readers fed from memory; the bytes stay the
    // caller's and must outlive this object.
    FlightFile(std::string path, std::string_view bytes);
    ~FlightFile();
    FlightFile(const FlightFile&) = delete;
    FlightFile& operator=(const FlightFile&) = delete;

    // Loads the file at `path`. False, with the one-line reason in `message` ("cannot open
    // 'x': No such file or directory"), when it cannot be opened or read.
    bool Load(const std::string& path, std::string* message);

    const std::string& Path() const { return path; }
    // The whole file; valid while this object lives.
    std::string_view Bytes() const { return bytes; }

private:
    std::string path;
    std::string_view bytes;
    void* mapping = nullptr; // the mapped file, or null
    size_t mapped = 0;
    std::string owned; // the bytes when they were read rather than mapped
};
