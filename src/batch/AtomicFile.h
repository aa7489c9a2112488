#pragma once
#include <cstddef>
#include <string>

// Files that appear whole or not at all, for readers and for other writers: the bytes go to a
// temporary name of this process's own beside `path` and are renamed over it. Two processes
// writing the same file (two workers given one job) each rename a whole file of their own, and
// the last one stays: never a mix of the two.

// A name beside `path` that no other process and no other call of this one uses:
// "PATH.part.PID.N".
std::string TemporaryNameFor(const std::string& path);

// False (with errno saying why, and no file left behind) when writing fails.
bool WriteFileAtomically(const std::string& path, const void* data, size_t size);
