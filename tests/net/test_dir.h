// Scratch folders and whole-file helpers for the tests.
#pragma once
#include <string>
#include <vector>

// A fresh, empty folder for one test, as a path ending in the separator.
std::string MakeTestDir(const std::string& name);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Every file below a folder, as paths relative to it, sorted.
std::vector<std::string> ListFiles(const std::string& dir);
