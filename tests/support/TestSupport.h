#pragma once
// The plumbing every test shares: scratch folders, a working directory for the length of a
// test, capture of standard output and error, running a program with its transcript,
// whole-file reads and writes, and the file-level snapshot that shows a run changed nothing.

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The file's bytes, or nothing when it cannot be opened.
std::string ReadWholeFile(const std::string& path);

// Writes the bytes, creating the folders on the way; a failure fails the test.
void WriteWholeFile(const std::string& path, const std::string& content);

// A fresh, empty directory under the test temp folder, removed with all its content when
// the object goes (folders a test made unreadable included).
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

// Makes `path` the working directory until the object goes, then returns to the previous one.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const std::string& path);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::string previous;
};

// A test that runs in a fresh, empty working directory, since the program reads and writes
// its files by fixed relative names. `scratch` is that directory.
class ScratchWorkingDirectoryTest : public ::testing::Test
{
protected:
    ScratchWorkingDirectoryTest() : inScratch(scratch.Path()) {}

    ScratchDirectory scratch;

private:
    WorkingDirectory inScratch;
};

// Captures what this process writes to standard output (and, when asked, standard error)
// at the file-descriptor level, so printf, the scanner's echo and the libraries' own
// output are all caught, from construction until Finish.
class OutputCapture
{
public:
    explicit OutputCapture(bool alsoStandardError = false);
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Ends the capture (once) and returns what was written.
    std::string Finish();
    // Standard error's part, once Finish has run; empty when it was not captured.
    const std::string& Errors() const { return errors; }

private:
    struct Stream
    {
        int descriptor = -1;
        int saved = -1;
        FILE* sink = nullptr;
    };
    static void Begin(Stream& stream, int descriptor);
    static std::string End(Stream& stream);

    Stream out;
    Stream err;
    bool finished = false;
    std::string errors;
};

struct RunResult
{
    int status = -1;         // exit status 0 .. 255, or 128 + signal number
    int signal = 0;          // the signal that ended the run, 0 when it exited
    bool timedOut = false;
    std::string out;         // standard output, byte for byte
    std::string err;         // standard error, byte for byte
};

// Runs `program` with the arguments in workDirectory, with standard input from /dev/null
// and without a display: DISPLAY names a display number that has no X server.
// OSG_FILE_PATH is removed so that no file outside the working directory can stand in for a
// missing one. Extra environment settings ("NAME=value") are added, or remove a variable
// when given as "-NAME". The run is killed after timeoutSeconds.
RunResult RunProgram(const std::string& program, const std::string& workDirectory, const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {}, int timeoutSeconds = 60);

// The text cut at line feeds; a last piece without a line feed is a line of its own.
std::vector<std::string> SplitLines(const std::string& text);

// The text cut at every separator: n separators give n + 1 pieces.
std::vector<std::string> SplitFields(const std::string& text, char separator);

// Empty when the two line lists agree; otherwise the first differing line of each, with
// non-printable bytes escaped, and both line counts.
std::string DescribeLineDifference(const std::vector<std::string>& actual, const std::vector<std::string>& expected);

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
