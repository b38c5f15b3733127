#include "ui/data_directory.h"

#include <cstring>

int DirectoryInputFits(const char* trimmed) {
  return trimmed && std::strlen(trimmed) <= static_cast<std::size_t>(MaxDataDirectoryInput);
}

int DirectoryOfPath(const char* path, char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  if (!path) return 0;
  const char* cut = std::strrchr(path, '\\');
  if (!cut) return 0;
  const std::size_t n = static_cast<std::size_t>(cut - path);
  if (n >= size) return 0;
  std::memcpy(out, path, n);
  out[n] = '\0';
  return 1;
}
