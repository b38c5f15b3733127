#include "server/file_names.h"

#include <cstring>

bool AcceptableFileName(const char* name, std::size_t length, std::string* why) {
  if (length == 0) {
    *why = "empty name";
    return false;
  }
  if (length > 50) {
    *why = "name too long";
    return false;
  }
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F) {
      *why = "control character in name";
      return false;
    }
    if (std::strchr("/\\:*?\"<>|", c)) {
      *why = "folder, drive or wildcard character in name";
      return false;
    }
  }
  if (name[0] == '.' || name[0] == ' ') {
    *why = "name starts with a dot or a space";
    return false;
  }
  if (name[length - 1] == '.' || name[length - 1] == ' ') {
    *why = "name ends in a dot or a space";
    return false;
  }
  return true;
}
