#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Files that appear whole or not at all, for readers and for other writers: the bytes go to a
// temporary name of this process's own beside `path` and are renamed over it. Two processes
// writing the same file (two workers given one job) each rename a whole file of their own, and
// the last one stays: never a mix of the two.

// A name beside `path` that no other process and no other call of this one uses:
// "PATH.part.PID.N".
std::string TemporaryNameFor(const std::string& path);

// False (with errno saying why, and no file left behind) when writing fails.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);
// The file name of `path`, without its folder.
std::string FileNameOf(const std::string& path);

// `path` with its extension (the last dot's part of the file name, when there is one and
// the name is more than it) replaced by `extension` (".events.csv"): a file beside it.
std::string PathWithExtension(const std::string& path, const std::string& extension);

// The same for text, false with *error "cannot write 'PATH': why".
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error);
// The whole of a file that a writer of ours may be renaming over: false with *error
// "cannot open 'PATH': why".
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);

// The lines after the first of a file of ours, a CSV whose first line must be `header` (a
// '\r' before a line's end dropped, empty lines left out): false with *error "'PATH' does not
// begin with the line ..." or the reason it cannot be opened.
bool ReadLinesAfterHeader(const std::string& path, const char* header, std::vector<std::string>* lines, std::string* error);

// A CSV of ours, written whole or not at all: `header`, then a line a record made by `line`
// (std::string(const Record&), without the line's end).
template <typename Record, typename Line>
bool WriteRecordsAfterHeader(const std::string& path, const char* header, const std::vector<Record>& records, std::string* error, Line line)
{
    std::string text = std::string(header) + "\n";
    for (const Record& record : records)
        text += line(record) + "\n";
    return WriteFileAtomically(path, text, error);
}
// Words for a field of a CSV of ours: a comma or a line's end in them becomes a space.
std::string CsvFieldText(std::string text);

// The fields of a line of a CSV of ours, cut at every comma (ours never quote one).
std::vector<std::string> CsvFieldsOf(const std::string& line);
// A number that is the whole of a field, finite; an empty field is NaN, taken as unknown when
// `emptyIsUnknown`, else refused.
bool ReadCsvNumber(const std::string& field, bool emptyIsUnknown, double* value);

// Each line after the header read into a record by `parse` (bool(const std::vector<std::string>&
// fields, Record*)); a line it refuses, or one longer than 200 bytes (no line of ours is), is
// skipped and counted.
template <typename Record, typename Parse>
bool ReadRecordsAfterHeader(const std::string& path, const char* header, std::vector<Record>* records, size_t* skipped, std::string* error, Parse parse)
{
    *skipped = 0;
    records->clear();
    std::vector<std::string> lines;
    if (!ReadLinesAfterHeader(path, header, &lines, error))
        return false;
    for (const std::string& line : lines)
    {
        Record record;
        if (line.size() <= 200 && parse(CsvFieldsOf(line), &record))
            records->push_back(record);
        else
            ++*skipped;
    }
    return true;
}

// A folder of files (name in the folder, bytes) that appears whole or not at all: written
// under a temporary name beside `path`, then renamed into its place. A folder already there is
// replaced (moved aside first, then removed); the caller decides whether it may be. False with
// *error "cannot write 'PATH': why", and nothing left behind.
bool WriteFolderAtomically(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files, std::string* error);
