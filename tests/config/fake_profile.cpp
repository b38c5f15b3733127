#include "tests/config/fake_profile.h"

#include <cstdio>

#include "config/profile.h"

FakeProfile& Profile() {
  static FakeProfile profile;
  return profile;
}

std::string ProfileEntry(const std::string& file, const std::string& section, const std::string& key) {
  return file + "|" + section + "|" + key;
}

void ProfileRead(const char* file, const char* section, const char* key, char* out, int size) {
  auto it = Profile().entries.find(ProfileEntry(file, section, key));
  std::snprintf(out, static_cast<std::size_t>(size), "%s", it == Profile().entries.end() ? "" : it->second.c_str());
}

int ProfileWrite(const char* file, const char* section, const char* key, const char* value) {
  Profile().entries[ProfileEntry(file, section, key)] = value;
  ++Profile().writes;
  return 1;
}

int WindowsDirectory(char* out, int size) {
  std::snprintf(out, static_cast<std::size_t>(size), "%s", Profile().windowsDirectory.c_str());
  return static_cast<int>(Profile().windowsDirectory.size());
}

int FileLastWriteTime(const char* path, uint32_t* seconds) {
  auto it = Profile().fileTimes.find(path);
  if (it == Profile().fileTimes.end()) return 0;
  *seconds = it->second;
  return 1;
}
