#include "TestSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace
{

// mkdir -p: every folder on the way, those that exist left alone.
void MakeDirectories(const std::string& path)
{
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1))
    {
        mkdir(path.substr(0, slash).c_str(), 0755);
        if (slash == std::string::npos)
            return;
    }
}

void RemoveTree(const std::string& path)
{
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return;
    if (S_ISDIR(status.st_mode))
    {
        // A test may have made a folder unreadable; give it back before walking it.
        chmod(path.c_str(), 0700);
        if (DIR* dir = opendir(path.c_str()))
        {
            while (dirent* entry = readdir(dir))
            {
                if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                    RemoveTree(path + "/" + entry->d_name);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
        return;
    }
    unlink(path.c_str());
}

uint64_t DigestOfFile(const std::string& path)
{
    uint64_t digest = 14695981039346656037ull;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return 0;
    std::vector<unsigned char> block(1 << 16);
    size_t got;
    while ((got = fread(block.data(), 1, block.size(), file)) > 0)
    {
        for (size_t i = 0; i < got; ++i)
        {
            digest ^= block[i];
            digest *= 1099511628211ull;
        }
    }
    fclose(file);
    return digest;
}

void SnapshotInto(const std::string& root, const std::string& relative, std::vector<TreeEntry>& entries)
{
    const std::string folder = relative.empty() ? root : root + "/" + relative;
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent* item = readdir(dir))
    {
        if (strcmp(item->d_name, ".") == 0 || strcmp(item->d_name, "..") == 0)
            continue;
        const std::string name = relative.empty() ? item->d_name : relative + "/" + item->d_name;
        const std::string path = root + "/" + name;
        struct stat status;
        if (lstat(path.c_str(), &status) != 0)
            continue;
        TreeEntry entry;
        entry.name = name;
        entry.kind = S_ISREG(status.st_mode) ? 'f' : S_ISDIR(status.st_mode) ? 'd' : S_ISLNK(status.st_mode) ? 'l' : 'o';
        entry.size = entry.kind == 'd' ? 0 : static_cast<int64_t>(status.st_size);
        entry.mode = static_cast<uint32_t>(status.st_mode & 07777);
        // A folder's time changes when an entry is added or removed, which the names show.
        entry.modifiedNanoseconds = entry.kind == 'd' ? 0 : static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
        entry.digest = entry.kind == 'f' ? DigestOfFile(path) : 0;
        entries.push_back(entry);
        if (entry.kind == 'd')
            SnapshotInto(root, name, entries);
    }
    closedir(dir);
}

std::string Escaped(const std::string& text)
{
    std::string shown;
    for (unsigned char c : text)
    {
        if (c >= 0x20 && c < 0x7F && c != '\\')
        {
            shown += static_cast<char>(c);
        }
        else
        {
            char code[8];
            snprintf(code, sizeof code, "\\x%02X", c);
            shown += code;
        }
        if (shown.size() > 300)
            return shown + "...";
    }
    return shown;
}

// ":N" for the first N from 900 up that has no local X server socket.
std::string UnusedDisplay()
{
    for (int number = 900;; ++number)
    {
        struct stat status;
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (lstat(socket.c_str(), &status) != 0)
            return ":" + std::to_string(number);
    }
}

} // namespace

std::string ReadWholeFile(const std::string& path)
{
    std::string content;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return content;
    char block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        content.append(block, got);
    fclose(file);
    return content;
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        MakeDirectories(path.substr(0, slash));
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path << ": " << strerror(errno);
    EXPECT_EQ(fwrite(content.data(), 1, content.size(), file), content.size()) << path;
    EXPECT_EQ(fclose(file), 0) << path;
}

WorkingDirectory::WorkingDirectory(const std::string& path)
{
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer))
        previous = buffer;
    EXPECT_EQ(chdir(path.c_str()), 0) << path << ": " << strerror(errno);
}

WorkingDirectory::~WorkingDirectory()
{
    if (!previous.empty() && chdir(previous.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << previous;
}

OutputCapture::OutputCapture(bool alsoStandardError)
{
    Begin(out, STDOUT_FILENO);
    if (alsoStandardError)
        Begin(err, STDERR_FILENO);
}

OutputCapture::~OutputCapture()
{
    Finish();
}

void OutputCapture::Begin(Stream& stream, int descriptor)
{
    fflush(stdout);
    fflush(stderr);
    stream.sink = tmpfile();
    if (!stream.sink)
    {
        ADD_FAILURE() << "tmpfile: " << strerror(errno);
        return;
    }
    stream.descriptor = descriptor;
    stream.saved = dup(descriptor);
    dup2(fileno(stream.sink), descriptor);
}

std::string OutputCapture::End(Stream& stream)
{
    std::string text;
    if (!stream.sink)
        return text;
    fflush(stdout);
    fflush(stderr);
    dup2(stream.saved, stream.descriptor);
    close(stream.saved);
    rewind(stream.sink);
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, stream.sink)) > 0)
        text.append(block, got);
    fclose(stream.sink);
    stream.sink = nullptr;
    return text;
}

std::string OutputCapture::Finish()
{
    if (finished)
        return std::string();
    finished = true;
    errors = End(err);
    return End(out);
}

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = testing::TempDir() + "flightreplay-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
    {
        ADD_FAILURE() << "mkdtemp " << pattern << ": " << strerror(errno);
        return;
    }
    path = buffer.data();
}

ScratchDirectory::~ScratchDirectory()
{
    if (!path.empty())
        RemoveTree(path);
}

void ScratchDirectory::MakeDirectory(const std::string& name) const
{
    MakeDirectories(PathOf(name));
}

void ScratchDirectory::WriteFile(const std::string& name, const std::string& content) const
{
    WriteWholeFile(PathOf(name), content);
}

bool TreeEntry::operator==(const TreeEntry& other) const
{
    return name == other.name && kind == other.kind && size == other.size && mode == other.mode && modifiedNanoseconds == other.modifiedNanoseconds && digest == other.digest;
}

std::vector<TreeEntry> SnapshotTree(const std::string& root)
{
    std::vector<TreeEntry> entries;
    SnapshotInto(root, "", entries);
    std::sort(entries.begin(), entries.end(), [](const TreeEntry& a, const TreeEntry& b) { return a.name < b.name; });
    return entries;
}

std::string DescribeTreeChange(const std::vector<TreeEntry>& before, const std::vector<TreeEntry>& after)
{
    std::string change;
    auto describe = [](const TreeEntry& e) {
        char text[160];
        snprintf(text, sizeof text, " (%c, %lld bytes, mode %o, mtime %lld, digest %016llx)", e.kind, static_cast<long long>(e.size), e.mode, static_cast<long long>(e.modifiedNanoseconds), static_cast<unsigned long long>(e.digest));
        return e.name + text;
    };
    for (const TreeEntry& e : before)
    {
        auto found = std::find_if(after.begin(), after.end(), [&](const TreeEntry& a) { return a.name == e.name; });
        if (found == after.end())
            change += "removed: " + describe(e) + "\n";
        else if (!(*found == e))
            change += "changed: " + describe(e) + " -> " + describe(*found) + "\n";
    }
    for (const TreeEntry& e : after)
    {
        auto found = std::find_if(before.begin(), before.end(), [&](const TreeEntry& b) { return b.name == e.name; });
        if (found == before.end())
            change += "added: " + describe(e) + "\n";
    }
    return change;
}

RunResult RunProgram(const std::string& program, const std::string& workDirectory, const std::vector<std::string>& arguments, const std::vector<std::string>& environment, int timeoutSeconds)
{
    RunResult result;
    ScratchDirectory capture; // outside the working directory, which must stay untouched
    const std::string outPath = capture.PathOf("stdout");
    const std::string errPath = capture.PathOf("stderr");

    std::vector<std::string> argumentText = {program};
    argumentText.insert(argumentText.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : argumentText)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);

    std::vector<std::string> environmentText;
    for (char** e = environ; *e; ++e)
    {
        if (strncmp(*e, "DISPLAY=", 8) != 0 && strncmp(*e, "OSG_FILE_PATH=", 14) != 0)
            environmentText.push_back(*e);
    }
    // Without DISPLAY the viewer library falls back to ":0.0", so an X server there (such as
    // the virtual screen of a windowed test running in parallel) would get a window and the
    // run would never end. Name a display that has no server instead.
    environmentText.push_back("DISPLAY=" + UnusedDisplay());
    for (const std::string& setting : environment)
    {
        const bool removal = !setting.empty() && setting[0] == '-';
        const std::string name = removal ? setting.substr(1) : setting.substr(0, setting.find('='));
        environmentText.erase(std::remove_if(environmentText.begin(), environmentText.end(), [&](const std::string& e) { return e.compare(0, name.size() + 1, name + "=") == 0; }), environmentText.end());
        if (!removal)
            environmentText.push_back(setting);
    }
    std::vector<char*> envp;
    for (std::string& e : environmentText)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);

    fflush(stdout);
    fflush(stderr);
    const pid_t child = fork();
    if (child < 0)
    {
        ADD_FAILURE() << "fork: " << strerror(errno);
        return result;
    }
    if (child == 0)
    {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || chdir(workDirectory.c_str()) != 0)
            _exit(120);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(121);
    }

    int waitStatus = 0;
    const timespec pause = {0, 10 * 1000 * 1000};
    for (int waited = 0;; ++waited)
    {
        const pid_t done = waitpid(child, &waitStatus, WNOHANG);
        if (done == child)
            break;
        if (waited >= timeoutSeconds * 100)
        {
            kill(child, SIGKILL);
            waitpid(child, &waitStatus, 0);
            result.timedOut = true;
            break;
        }
        nanosleep(&pause, nullptr);
    }
    if (WIFEXITED(waitStatus))
        result.status = WEXITSTATUS(waitStatus);
    else if (WIFSIGNALED(waitStatus))
    {
        result.signal = WTERMSIG(waitStatus);
        result.status = 128 + result.signal;
    }
    result.out = ReadWholeFile(outPath);
    result.err = ReadWholeFile(errPath);
    return result;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
        {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> SplitFields(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    size_t start = 0;
    while (true)
    {
        const size_t end = text.find(separator, start);
        fields.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return fields;
        start = end + 1;
    }
}

std::string DescribeLineDifference(const std::vector<std::string>& actual, const std::vector<std::string>& expected)
{
    const size_t common = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < common; ++i)
    {
        if (actual[i] != expected[i])
        {
            return "line " + std::to_string(i + 1) + " differs:\n  actual:   " + Escaped(actual[i]) + "\n  expected: " + Escaped(expected[i]) + "\n  (" + std::to_string(actual.size()) + " lines actual, " + std::to_string(expected.size()) + " expected)";
        }
    }
    if (actual.size() != expected.size())
    {
        const bool more = actual.size() > expected.size();
        return std::to_string(actual.size()) + " lines actual, " + std::to_string(expected.size()) + " expected; first " + (more ? "extra" : "missing") + " line: " + Escaped(more ? actual[common] : expected[common]);
    }
    return "";
}
