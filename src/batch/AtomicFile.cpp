#include "batch/AtomicFile.h"

#include <atomic>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

std::string TemporaryNameFor(const std::string& path)
{
    static std::atomic<unsigned long> next{0};
    return path + ".part." + std::to_string(static_cast<long>(getpid())) + "." + std::to_string(next++);
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size)
{
    const std::string temporary = TemporaryNameFor(path);
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    const bool written = fwrite(data, 1, size, file) == size;
    int error = errno;
    // fclose flushes: its failure (a full disk) is a failed write too.
    const bool closed = fclose(file) == 0;
    if (written && !closed)
        error = errno;
    if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0)
    {
        if (written && closed)
            error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PathWithExtension(const std::string& path, const std::string& extension)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const bool hasOne = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasOne ? path.substr(0, dot) : path) + extension;
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* error)
{
    if (WriteFileAtomically(path, text.data(), text.size()))
        return true;
    *error = "cannot write '" + path + "': " + strerror(errno);
    return false;
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        *error = "cannot open '" + path + "': " + strerror(errno);
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

bool WriteFolderAtomically(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files, std::string* error)
{
    namespace fs = std::filesystem;
    const std::string temporary = TemporaryNameFor(path);
    std::error_code failed;
    auto fail = [&](const std::string& what, const std::string& why) {
        *error = "cannot write '" + what + "': " + why;
        fs::remove_all(temporary, failed);
        return false;
    };
    if (!fs::create_directory(temporary, failed))
        return fail(path, failed ? failed.message() : "a file of that name is in the way");
    for (const auto& [name, bytes] : files)
    {
        const std::string file = temporary + "/" + name;
        FILE* out = fopen(file.c_str(), "wb");
        const bool written = out && fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        const int why = errno;
        if (!out || fclose(out) != 0 || !written)
            return fail(path + "/" + name, strerror(out && written ? errno : why));
    }
    const std::string aside = temporary + ".old";
    const bool replacing = fs::exists(path, failed);
    if (replacing && rename(path.c_str(), aside.c_str()) != 0)
        return fail(path, strerror(errno));
    if (rename(temporary.c_str(), path.c_str()) != 0)
    {
        const int why = errno;
        if (replacing)
            rename(aside.c_str(), path.c_str());
        return fail(path, strerror(why));
    }
    fs::remove_all(aside, failed);
    return true;
}

bool ReadLinesAfterHeader(const std::string& path, const char* header, std::vector<std::string>* lines, std::string* error)
{
    lines->clear();
    std::string bytes;
    if (!ReadWholeFile(path, &bytes, error))
        return false;
    bool first = true;
    for (size_t start = 0; start < bytes.size();)
    {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (first && line != header)
            break;
        if (!first && !line.empty())
            lines->push_back(std::move(line));
        first = false;
    }
    if (first)
    {
        *error = "'" + path + "' does not begin with the line \"" + header + "\"";
        return false;
    }
    return true;
}

std::vector<std::string> CsvFieldsOf(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (char c : line)
    {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

bool ReadCsvNumber(const std::string& field, bool emptyIsUnknown, double* value)
{
    if (field.empty())
    {
        *value = NAN;
        return emptyIsUnknown;
    }
    char* end = nullptr;
    *value = strtod(field.c_str(), &end);
    return *end == '\0' && std::isfinite(*value);
}

std::string CsvFieldText(std::string text)
{
    for (char& c : text)
        if (c == ',' || c == '\n' || c == '\r')
            c = ' ';
    return text;
}
