// The data directory: where velmor.cfg, the logs and the fetched files live.
#pragma once
#include <cstddef>

// Process-wide data directory (at most 99 characters); ends in a backslash
// once loaded; empty means the current directory.
extern char DataDirectory[100];

// out receives DataDirectory, a backslash when it ends in none, and name,
// cut to size - 1 characters.
void DataDirectoryPath(char* out, std::size_t size, const char* name);
