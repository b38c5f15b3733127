// velmor.cfg: CR LF text of "key = value" lines in the data directory.
//
// Every read opens, reads and closes the file; every write reads the whole
// file and replaces it. Keys compare without regard to ASCII case.
#pragma once
#include <cstddef>

constexpr const char* ConfigFileName = "velmor.cfg";
constexpr int KeyColumnWidth = 20;

// Process-wide data directory (at most 99 characters); ends in a backslash
// once loaded; empty means the current directory.
extern char DataDirectory[100];

// Returns 1 and copies the trimmed value into out (at most outSize - 1
// characters, always terminated) when the key exists; 0 otherwise.
int ConfigGet(char* out, std::size_t outSize, const char* key, const char* fileName);

// Replaces the value of every line with the key, or appends one line.
void ConfigSet(const char* key, const char* value, const char* fileName);

// ConfigGet; when the key is absent, out receives the default and the
// default is stored under the key.
void ConfigGetDefault(char* out, std::size_t outSize, const char* key, const char* def,
                      const char* fileName);

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

// "Error %d while performing %s" to the internal log when result is -1;
// returns the error number then, else 0.
int ReportIoError(int result, const char* operation);
