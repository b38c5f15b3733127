#include "base/data_directory.h"

#include <cstdio>
#include <cstring>

char DataDirectory[100] = "";

void DataDirectoryPath(char* out, std::size_t size, const char* name) {
  // A value of 99 characters (hand-edited) has no room for the backslash
  // that loading adds: the path gets its separator here.
  const std::size_t length = strnlen(DataDirectory, sizeof DataDirectory - 1);
  const char last = length > 0 ? DataDirectory[length - 1] : '\\';
  const char* separator = last == '\\' || last == '/' ? "" : "\\";
  std::snprintf(out, size, "%.*s%s%s", static_cast<int>(length), DataDirectory, separator, name ? name : "");
}
