#include "viewer/PrivateDisplay.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

bool DisplayUsable()
{
    const char* name = getenv("DISPLAY");
    if (!name || !*name)
        return false;
    Display* display = XOpenDisplay(name);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

// How long the server may take to report its display number; a loaded machine with a
// software renderer can take seconds to start one.
const int ServerStartMilliseconds = 20000;

PrivateDisplay::~PrivateDisplay()
{
    if (server <= 0)
        return;
    kill(server, SIGTERM);
    int status = 0;
    while (waitpid(server, &status, 0) < 0 && errno == EINTR)
    {
    }
}

// Starts Xvfb on display `number`, its messages to the file `messages`. Its pid once it
// reports that it listens; 0 when it ended first (the number was taken, or no Xvfb) or did
// not report in time.
static pid_t StartServer(int number, int messages)
{
    int numberPipe[2];
    if (pipe2(numberPipe, O_CLOEXEC) != 0)
        return 0;
    const std::string display = ":" + std::to_string(number);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0)
    {
        close(numberPipe[0]);
        close(numberPipe[1]);
        return 0;
    }
    if (child == 0)
    {
        // Only async-signal-safe calls from here to exec.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127); // the program ended before the request took hold
        // A group of its own: Ctrl-C at the terminal is for the program, which ends the server.
        setpgid(0, 0);
        dup2(messages, 2);
        // The server writes its number on descriptor 3 once it listens; dup2 clears
        // close-on-exec, except on a descriptor that is already 3.
        if (numberPipe[1] == 3)
            fcntl(3, F_SETFD, 0);
        else
            dup2(numberPipe[1], 3);
        const int quiet = open("/dev/null", O_RDWR);
        if (quiet >= 0)
        {
            dup2(quiet, 0);
            dup2(quiet, 1);
        }
        execlp("Xvfb", "Xvfb", display.c_str(), "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        const char message[] = "Xvfb is not installed (Debian package xvfb)\n";
        ssize_t ignored = write(2, message, sizeof message - 1);
        (void)ignored;
        _exit(127);
    }
    close(numberPipe[1]);
    std::string said;
    pollfd wait{numberPipe[0], POLLIN, 0};
    while (said.find('\n') == std::string::npos && poll(&wait, 1, ServerStartMilliseconds) > 0)
    {
        char buffer[32];
        const ssize_t got = read(numberPipe[0], buffer, sizeof buffer);
        if (got <= 0)
            break; // it ended
        said.append(buffer, static_cast<size_t>(got));
    }
    close(numberPipe[0]);
    if (said.find('\n') != std::string::npos)
        return child;
    kill(child, SIGTERM);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    return 0;
}

// Display numbers the server is tried on: well above :0, where programs without DISPLAY
// look, and above the low numbers other programs probe for a free one.
const int FirstPrivateDisplay = 1000;
const int PrivateDisplayTries = 8;

bool PrivateDisplay::Ensure(std::string* error)
{
    if (server > 0 || DisplayUsable())
        return true;
    // The server's messages go to a file, not a pipe: a pipe nobody reads any more would
    // end the server at its next message.
    char messageName[] = "/tmp/flightreplay-xvfb-XXXXXX";
    const int messages = mkostemp(messageName, O_CLOEXEC);
    if (messages < 0)
    {
        *error = std::string("no room for Xvfb's messages in /tmp: ") + strerror(errno);
        return false;
    }
    unlink(messageName);
    // Spread over a range, so that programs starting together rarely try the same number.
    int number = FirstPrivateDisplay + static_cast<int>(getpid() % 1000);
    for (int attempt = 0; attempt < PrivateDisplayTries && server == 0; ++attempt, ++number)
    {
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (access(lock.c_str(), F_OK) == 0 || access(socket.c_str(), F_OK) == 0)
            continue;
        server = StartServer(number, messages);
        if (server > 0)
            name = ":" + std::to_string(number);
    }
    if (server == 0)
    {
        std::string said;
        char buffer[512];
        ssize_t got;
        lseek(messages, 0, SEEK_SET);
        while ((got = read(messages, buffer, sizeof buffer)) > 0 && said.size() < 4000)
            said.append(buffer, static_cast<size_t>(got));
        close(messages);
        // The last message is the one that ended the last try.
        while (!said.empty() && said.back() == '\n')
            said.pop_back();
        const size_t lastLine = said.find_last_of('\n');
        if (lastLine != std::string::npos)
            said.erase(0, lastLine + 1);
        *error = "no display, and Xvfb did not start" + (said.empty() ? std::string() : ": " + said);
        return false;
    }
    close(messages);
    setenv("DISPLAY", name.c_str(), 1);
    return true;
}
