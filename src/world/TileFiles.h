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

// Creates the directory unless it exists. False when it can be neither found nor made.
bool EnsureDirectory(const std::string& path);
