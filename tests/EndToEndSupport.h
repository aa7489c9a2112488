#pragma once
// Running the built program end to end in a scratch working directory, and the file-level
// snapshot that shows it changed nothing there.

#include <cstdint>
#include <string>
#include <vector>

// The file's bytes, or nothing when it cannot be opened.
std::string ReadWholeFile(const std::string& path);

// A fresh, empty directory under the test temp folder, removed with all its content when
// the object goes.
class ScratchDirectory
{
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::string& Path() const { return path; }
    std::string PathOf(const std::string& name) const { return path + "/" + name; }

    // Writes (creating folders on the way) or makes a folder, relative to the directory.
    void WriteFile(const std::string& name, const std::string& content) const;
    void MakeDirectory(const std::string& name) const;

private:
    std::string path;
};

// One entry of a directory tree: relative path, kind ('f' file, 'd' folder, 'l' link,
// 'o' other), size, permission bits, modification time and a 64-bit FNV-1a digest of the
// content (files only).
struct TreeEntry
{
    std::string name;
    char kind;
    int64_t size;
    uint32_t mode;
    int64_t modifiedNanoseconds;
    uint64_t digest;

    bool operator==(const TreeEntry& other) const;
};

// Every entry below root, sorted by name.
std::vector<TreeEntry> SnapshotTree(const std::string& root);

// Readable listing of differences between two snapshots, empty when they are equal.
std::string DescribeTreeChange(const std::vector<TreeEntry>& before, const std::vector<TreeEntry>& after);

struct RunResult
{
    int status = -1;         // exit status 0 .. 255, or 128 + signal number
    bool timedOut = false;
    std::string out;         // standard output, byte for byte
    std::string err;         // standard error, byte for byte
};

// Runs the built program (FLIGHTREPLAY_BINARY) with the given arguments in workDirectory,
// without a display: DISPLAY names a display number that has no X server. OSG_FILE_PATH is
// removed so that no file outside the working directory can stand in for a missing one.
// Extra environment settings ("NAME=value") are added. The run is killed after
// timeoutSeconds.
RunResult RunProgram(const std::string& workDirectory, const std::vector<std::string>& arguments, const std::vector<std::string>& environment, int timeoutSeconds);

// The text cut at line feeds; a last piece without a line feed is a line of its own.
std::vector<std::string> SplitLines(const std::string& text);

// Empty when the two line lists agree; otherwise the first differing line of each, with
// non-printable bytes escaped, and both line counts.
std::string DescribeLineDifference(const std::vector<std::string>& actual, const std::vector<std::string>& expected);
