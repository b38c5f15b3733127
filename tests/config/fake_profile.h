// An in-memory system profile and Windows directory for the identity tests.
#pragma once
#include <cstdint>
#include <map>
#include <string>

struct FakeProfile {
  std::map<std::string, std::string> entries;  // "file|section|key" -> value
  std::string windowsDirectory = "C:\\WINDOWS";
  std::map<std::string, uint32_t> fileTimes;   // existing files and their last-write times
  int writes = 0;
};

FakeProfile& Profile();
std::string ProfileEntry(const std::string& file, const std::string& section, const std::string& key);
