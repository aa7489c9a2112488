#include "record/VideoOutput.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <osg/Image>
#include <osgDB/WriteFile>

extern char** environ;

// Where the file name's extension starts (its dot), or the path's length when it has none.
// A dot that starts the file name, or one in a folder's name, is no extension.
static size_t ExtensionDot(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return dot == std::string::npos || dot <= nameStart ? path.size() : dot;
}

static std::string Extension(const std::string& path)
{
    const size_t dot = ExtensionDot(path);
    return dot < path.size() ? path.substr(dot + 1) : std::string();
}

std::string PartialVideoName(const std::string& path)
{
    const size_t dot = ExtensionDot(path);
    return path.substr(0, dot) + ".partial" + path.substr(dot);
}

std::string FrameFolderBeside(const std::string& video)
{
    return video.substr(0, ExtensionDot(video)) + "-frames/";
}

std::string FindFfmpeg()
{
    const char* path = getenv("PATH");
    if (!path)
        return std::string();
    std::string folders(path);
    size_t start = 0;
    while (start <= folders.size())
    {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : std::string(".");
        const std::string candidate = folder + "/ffmpeg";
        struct stat status;
        if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// The last lines ffmpeg wrote on its standard error, for a message.
static std::string Tail(int fd)
{
    std::string text;
    char buffer[4096];
    if (lseek(fd, 0, SEEK_SET) != 0)
        return text;
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.size() > 600)
        text = "..." + text.substr(text.size() - 600);
    return text;
}

namespace {

class FfmpegVideo : public VideoOutput
{
public:
    FfmpegVideo(const std::string& finalPath, int width, int height)
        : partial(PartialVideoName(finalPath)), frameBytes(static_cast<size_t>(width) * height * 3)
    {
        path = finalPath;
    }

    ~FfmpegVideo() override
    {
        if (child > 0)
            Abandon();
        if (log >= 0)
            close(log);
    }

    bool Start(const std::string& ffmpeg, int width, int height, int fps, std::string* startError)
    {
        char logName[] = "/tmp/flightreplay-ffmpeg-XXXXXX";
        log = mkostemp(logName, O_CLOEXEC);
        if (log < 0)
        {
            *startError = std::string("no room for ffmpeg's messages in /tmp: ") + strerror(errno);
            return false;
        }
        unlink(logName);
        int pipeEnds[2];
        if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        {
            *startError = std::string("no pipe to ffmpeg: ") + strerror(errno);
            return false;
        }
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        const std::string rate = std::to_string(fps);
        std::vector<std::string> args = {ffmpeg,    "-hide_banner", "-loglevel", "error",  "-y",           "-f",
                                         "rawvideo", "-pixel_format", "rgb24",   "-video_size", size, "-framerate",
                                         rate,      "-i",           "pipe:0",    "-vf",    "vflip",        "-c:v",
                                         "libx264", "-preset",      "veryfast",  "-crf",   "20",           "-pix_fmt",
                                         "yuv420p"};
        // A worker given a share of a machine keeps the encoder to it; the encoder otherwise
        // takes a thread for every core it sees.
        if (const int threads = RecordThreads(); threads > 0)
            args.insert(args.end(), {"-threads", std::to_string(threads)});
        const std::string extension = Extension(path);
        if (extension.empty() || extension == "mp4" || extension == "mov" || extension == "m4v")
            args.insert(args.end(), {"-movflags", "+faststart"});
        if (extension.empty())
            args.insert(args.end(), {"-f", "mp4"});
        args.push_back(partial);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
        posix_spawn_file_actions_adddup2(&actions, log, 1);
        posix_spawn_file_actions_adddup2(&actions, log, 2);
        // A group of its own: Ctrl-C at the terminal reaches this program only, which then
        // ends the encoder and removes its output itself.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setpgroup(&attributes, 0);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        const int failed = posix_spawn(&child, ffmpeg.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        close(pipeEnds[0]);
        if (failed != 0)
        {
            close(pipeEnds[1]);
            child = 0;
            *startError = "ffmpeg could not be started (" + ffmpeg + "): " + strerror(failed);
            return false;
        }
        input = pipeEnds[1];
        return true;
    }

    bool Write(const uint8_t* pixels) override
    {
        size_t done = 0;
        while (done < frameBytes)
        {
            const ssize_t wrote = write(input, pixels + done, frameBytes - done);
            if (wrote < 0 && errno == EINTR)
                continue;
            if (wrote <= 0)
            {
                // The encoder has gone: what it said is the reason.
                CloseAndWait();
                error = "ffmpeg stopped encoding: " + Tail(log);
                unlink(partial.c_str());
                return false;
            }
            done += static_cast<size_t>(wrote);
        }
        return true;
    }

    bool Finish() override
    {
        const int status = CloseAndWait();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        {
            error = "ffmpeg failed: " + Tail(log);
            unlink(partial.c_str());
            return false;
        }
        if (rename(partial.c_str(), path.c_str()) != 0)
        {
            error = "could not rename " + partial + " to " + path + ": " + strerror(errno);
            unlink(partial.c_str());
            return false;
        }
        return true;
    }

    void Abandon() override
    {
        if (child > 0)
            kill(child, SIGKILL);
        CloseAndWait();
        unlink(partial.c_str());
    }

private:
    // Closes the encoder's input and waits for it to end; its wait status, or -1.
    int CloseAndWait()
    {
        if (input >= 0)
            close(input);
        input = -1;
        int status = -1;
        if (child > 0)
        {
            while (waitpid(child, &status, 0) < 0 && errno == EINTR)
            {
            }
            child = 0;
        }
        return status;
    }

    std::string partial;
    size_t frameBytes;
    pid_t child = 0;
    int input = -1;
    int log = -1;
};

// The frame files this program names: frame-NNNNNN.png.
bool IsFrameFile(const char* name)
{
    return strncmp(name, "frame-", 6) == 0 && strlen(name) == 16 && strcmp(name + 12, ".png") == 0;
}

// The names in a folder other than . and ..; false when it cannot be read.
bool ListFolder(const std::string& folder, std::vector<std::string>* names)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names->push_back(entry->d_name);
    closedir(dir);
    return true;
}

// Removes a folder of frames: the frame files, then the folder, which fails if anything
// else is in it.
bool RemoveFrameFolder(const std::string& folder)
{
    std::vector<std::string> names;
    if (!ListFolder(folder, &names))
        return false;
    for (const std::string& name : names)
        if (IsFrameFile(name.c_str()))
            unlink((folder + "/" + name).c_str());
    return rmdir(folder.c_str()) == 0;
}

class FrameFolder : public VideoOutput
{
public:
    FrameFolder(const std::string& folder, int width, int height)
        : partial(folder + ".partial"), width(width), height(height)
    {
        path = folder + "/";
        final = folder;
    }

    ~FrameFolder() override
    {
        if (!finished)
            Abandon();
    }

    bool Start(std::string* startError)
    {
        struct stat status;
        if (stat(final.c_str(), &status) == 0)
        {
            std::vector<std::string> names;
            if (!S_ISDIR(status.st_mode))
            {
                *startError = final + " is a file, not a folder";
                return false;
            }
            if (!ListFolder(final, &names) || !names.empty())
            {
                *startError = final + "/ already holds files: give an empty or a new folder";
                return false;
            }
        }
        // Left by a render that was killed: its frames are of no use.
        if (stat(partial.c_str(), &status) == 0 && !RemoveFrameFolder(partial))
        {
            *startError = partial + " is in the way: remove it first";
            return false;
        }
        if (mkdir(partial.c_str(), 0777) != 0)
        {
            *startError = "could not make " + partial + ": " + strerror(errno);
            return false;
        }
        return true;
    }

    bool Write(const uint8_t* pixels) override
    {
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->setImage(width, height, 1, GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, const_cast<uint8_t*>(pixels),
                        osg::Image::NO_DELETE, 1);
        char name[32];
        snprintf(name, sizeof name, "/frame-%06lld.png", static_cast<long long>(++written));
        if (!osgDB::writeImageFile(*image, partial + name))
        {
            error = "could not write " + partial + name;
            return false;
        }
        return true;
    }

    bool Finish() override
    {
        finished = true;
        rmdir(final.c_str()); // empty, checked at the start; a missing one is fine too
        if (rename(partial.c_str(), final.c_str()) != 0)
        {
            error = "could not rename " + partial + " to " + final + ": " + strerror(errno);
            RemoveFrameFolder(partial);
            return false;
        }
        return true;
    }

    void Abandon() override
    {
        finished = true;
        RemoveFrameFolder(partial);
    }

private:
    std::string partial;
    std::string final;
    int width;
    int height;
    long long written = 0;
    bool finished = false;
};

} // namespace

int RecordThreads()
{
    const char* text = getenv(RecordThreadsVariable);
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    const long threads = strtol(text, &end, 10);
    return *end == '\0' && threads >= 1 && threads <= 256 ? static_cast<int>(threads) : 0;
}

std::unique_ptr<VideoOutput> OpenVideo(const std::string& ffmpeg, const std::string& path, int width, int height, int fps,
                                       std::string* error)
{
    // Said now rather than by the encoder after the scene is built.
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat status;
    if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
    {
        *error = "the folder " + folder + "/ does not exist";
        return nullptr;
    }
    if (access(folder.c_str(), W_OK) != 0)
    {
        *error = "the folder " + folder + "/ cannot be written to";
        return nullptr;
    }
    if (stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
    {
        *error = path + " is a folder: for PNG frames in it, end the name with '/'";
        return nullptr;
    }
    std::unique_ptr<FfmpegVideo> video(new FfmpegVideo(path, width, height));
    if (!video->Start(ffmpeg, width, height, fps, error))
        return nullptr;
    return video;
}

std::unique_ptr<VideoOutput> OpenFrameFolder(const std::string& folder, int width, int height, std::string* error)
{
    std::string name = folder;
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    std::unique_ptr<FrameFolder> frames(new FrameFolder(name, width, height));
    if (!frames->Start(error))
        return nullptr;
    return frames;
}
