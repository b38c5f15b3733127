// Helpers shared by the configuration tests and the fuzz target.
#pragma once
#include <string>
#include <vector>

#include "tests/support/test_files.h"

// Messages that reached the internal log, oldest first: the lines of the
// log file in the current DataDirectory without their stamp and base name.
std::vector<std::string> InternalMessages();
// Deletes that log file.
void ClearInternalMessages();

// A fresh, empty directory under the system's temporary directory, in the
// platform's own spelling and without a trailing separator.
std::string MakeTempDirectory(const char* tag);
void RemoveTempDirectory(const std::string& dir);
// Points DataDirectory at dir, ending in a backslash as the program does.
void UseDataDirectory(const std::string& dir);

std::string JoinPath(const std::string& dir, const std::string& name);

// What a write of key and value must make of a file that held before, by
// the file's rules: every line with an equals sign kept as it was, except
// the readable ones with the key, which become the replacement form; lines
// without one dropped; the spaced form appended when no line had the key.
// The caller's value must already be one that ConfigSet writes unchanged.
std::string ExpectedRewrite(const std::string& before, const std::string& key, const std::string& value);

// A path written the program's way (backslashes) as this platform opens it.
std::string NativeLogPath(std::string path);
