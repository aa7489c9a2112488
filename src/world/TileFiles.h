#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Writes the bytes to `path` through a temporary name beside it and a rename, so a reader
// sees either the old file or the whole new one, never a part. False (and no file left
// behind) when writing fails.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);

// True when `path` names an existing regular file.
bool FileExists(const std::string& path);

// The user's folder named by the XDG variable (XDG_DATA_HOME, XDG_CACHE_HOME), which counts
// only as an absolute path, else `underHome` below $HOME (".local/share", ".cache"); empty
// when neither is set.
std::string UserFolder(const char* xdgVariable, const char* underHome);

// Creates the directory unless it exists. False when it can be neither found nor made.
bool EnsureDirectory(const std::string& path);
