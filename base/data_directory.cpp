#include "base/data_directory.h"

#include <cstdio>

char DataDirectory[100] = "";

void DataDirectoryPath(char* out, std::size_t size, const char* name) {
  std::snprintf(out, size, "%.99s%s", DataDirectory, name ? name : "");
}
