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
    int numberPipe[2];
    if (pipe2(numberPipe, O_CLOEXEC) != 0)
    {
        close(messages);
        *error = std::string("no pipe for Xvfb: ") + strerror(errno);
        return false;
    }
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0)
    {
        close(messages);
        close(numberPipe[0]);
        close(numberPipe[1]);
        *error = std::string("could not start Xvfb: ") + strerror(errno);
        return false;
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
        // The server writes its number on descriptor 3; dup2 clears close-on-exec, except
        // on a descriptor that is already 3.
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
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        const char message[] = "Xvfb is not installed (Debian package xvfb)";
        ssize_t ignored = write(2, message, sizeof message - 1);
        (void)ignored;
        _exit(127);
    }
    close(numberPipe[1]);
    server = child;

    // The server writes its display number and a newline once it listens.
    std::string number;
    pollfd wait{numberPipe[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&wait, 1, ServerStartMilliseconds) > 0)
    {
        char buffer[32];
        const ssize_t got = read(numberPipe[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        number.append(buffer, static_cast<size_t>(got));
    }
    close(numberPipe[0]);
    if (number.find('\n') == std::string::npos)
    {
        kill(server, SIGTERM);
        int status = 0;
        waitpid(server, &status, 0);
        server = 0;
        std::string said;
        char buffer[512];
        ssize_t got;
        lseek(messages, 0, SEEK_SET);
        while ((got = read(messages, buffer, sizeof buffer)) > 0 && said.size() < 2000)
            said.append(buffer, static_cast<size_t>(got));
        close(messages);
        while (!said.empty() && said.back() == '\n')
            said.pop_back();
        *error = "no display, and Xvfb did not start" + (said.empty() ? std::string() : ": " + said);
        return false;
    }
    close(messages);
    number.erase(number.find('\n'));
    name = ":" + number;
    setenv("DISPLAY", name.c_str(), 1);
    return true;
}
