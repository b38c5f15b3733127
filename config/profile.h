// Seam: the system profile file and the Windows directory, which hold the
// client identity outside the program's own files.
//
// profile_win.cpp implements it over the Windows profile functions; tests of
// the portable identity logic link a stand-in that keeps entries in memory.
#pragma once
#include <cstdint>

constexpr const char* ProfileFileName = "CONTROL.INI";

// Reads the entry key of section into out (size bytes, always terminated);
// a missing entry, or one that cannot be read, gives the empty text.
void ProfileRead(const char* file, const char* section, const char* key, char* out, int size);

// Writes the entry; returns 1 on success, 0 on failure.
int ProfileWrite(const char* file, const char* section, const char* key, const char* value);

// The Windows directory into out (size bytes, always terminated); returns
// its length, or 0 when it cannot be had.
int WindowsDirectory(char* out, int size);

// 1 with the file's last-write time (seconds since 1970-01-01 00:00 UTC,
// 32 bits) when the file exists; 0 when it does not.
int FileLastWriteTime(const char* path, uint32_t* seconds);
