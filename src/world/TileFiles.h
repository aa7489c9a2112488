#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "batch/AtomicFile.h" // WriteFileAtomically

// True when `path` names an existing regular file.
bool FileExists(const std::string& path);

// The user's folder named by the XDG variable (XDG_DATA_HOME, XDG_CACHE_HOME), which counts
// only as an absolute path, else `underHome` below $HOME (".local/share", ".cache"); empty
// when neither is set.
std::string UserFolder(const char* xdgVariable, const char* underHome);

// Creates the directory unless it exists. False when it can be neither found nor made.
bool EnsureDirectory(const std::string& path);
