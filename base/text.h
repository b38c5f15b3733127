// Small text helpers: paths, trimming, the lenient numbers of the settings.
#pragma once
#include <cstddef>

// Appends a backslash to a non-empty path that does not end in one, as long
// as it fits in size bytes.
void AddBackslash(char* path, std::size_t size);

// Removes trailing, then leading space characters (code 32 only) in place.
char* TrimSpaces(char* text);

// Lenient decimal conversion used for every numeric setting: leading white
// space, optional sign, digits; no digits gives 0; wraps in 32 bits.
int DecimalValue(const char* text);

// First character Y or y.
bool IsYes(const char* text);
