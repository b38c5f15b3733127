// Scratch folders and whole-file helpers for every test program, native and
// under Wine.
//
// Scratch folders live below one private folder per test program, made on
// first use in the system's temporary directory and removed with
// everything in it when the program ends. Its path is short whatever the
// checkout's path is: the client refuses a data directory of more than 98
// characters, and Windows paths stop at 260.
#pragma once
#include <string>
#include <vector>

// A fresh, empty folder for one test, as a path ending in the separator.
std::string MakeTestDir(const std::string& name);
// The program's private folder itself, without a trailing separator.
std::string TestRoot();
std::string ReadFile(const std::string& path);  // "" when missing
void WriteFile(const std::string& path, const std::string& bytes);
// Whether anything is there (a dangling symbolic link too).
bool FileExists(const std::string& path);
// Every file below a folder, as paths relative to it with '/', sorted.
std::vector<std::string> ListFiles(const std::string& dir);

#ifdef _WIN32
// Under Wine, a private folder of the same kind on the Unix side (for the
// native reference server), as a Unix path; removed with the program's end
// too.
std::string UnixTestRoot();
#endif
