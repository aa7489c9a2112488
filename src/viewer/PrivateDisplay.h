#pragma once
#include <string>
#include <sys/types.h>

// A display for drawing without one: when DISPLAY is unset or names a server that does
// not answer, a virtual X server (Xvfb, from Debian's xvfb) of the program's own, on a
// display number that server picks as free, for as long as this object lives. The server
// is told to end when the program that started it ends, however it ends: a killed program
// leaves no server behind.

// DISPLAY is set and a connection to it can be opened.
bool DisplayUsable();

class PrivateDisplay
{
public:
    PrivateDisplay() = default;
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    // Ends the server, if one was started.
    ~PrivateDisplay();

    // Leaves a usable DISPLAY as it is; otherwise starts Xvfb and points DISPLAY at it.
    // False, with the reason in `error`, when no display could be had.
    bool Ensure(std::string* error);

    // A server was started (and DISPLAY names it).
    bool Started() const { return server > 0; }
    const std::string& Name() const { return name; }

private:
    pid_t server = 0;
    std::string name;
};
