// Fuzz target for the configuration reader and writer. The input is a key
// (its length in the first byte, then its bytes) and the file's contents.
// Reads must not crash; a write must give exactly the file that the rules
// make of the old one (every line with an equals sign kept, the key's lines
// replaced, the rest dropped), and the key must then read back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/config_file.h"
#include "tests/config/test_support.h"
#include "tests/stubs/stubs.h"

namespace {

bool Writable(const std::string& key) {
  if (key.find_first_of(std::string("=\r\0", 3)) != std::string::npos) return false;
  return key.empty() || (key.front() != ' ' && key.back() != ' ');
}

std::string directory;

void RemoveDirectoryAtExit() { RemoveTempDirectory(directory); }

const std::string& Directory() {
  if (directory.empty()) {
    directory = MakeTempDirectory("fuzz");
    UseDataDirectory(directory);
    std::atexit(RemoveDirectoryAtExit);
  }
  return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = JoinPath(Directory(), ConfigFileName);
  std::size_t keyLength = size > 0 ? data[0] % 16 : 0;
  if (size < 1 + keyLength) return 0;
  std::string key(reinterpret_cast<const char*>(data) + 1, keyLength);
  if (!Writable(key)) key = "Port";
  std::string file(reinterpret_cast<const char*>(data) + 1 + keyLength, size - 1 - keyLength);
  WriteBytes(path, file);

  char out[64];
  ConfigGet(out, sizeof out, key.c_str(), ConfigFileName);
  ConfigGet(out, 3, "Port", ConfigFileName);
  ConfigGet(out, sizeof out, "", ConfigFileName);

  ConfigSet(key.c_str(), "2000", ConfigFileName);
  if (ReadBytes(path) != ExpectedRewrite(file, key, "2000")) std::abort();
  if (!ConfigGet(out, sizeof out, key.c_str(), ConfigFileName) || std::strcmp(out, "2000") != 0) std::abort();
  if (!ShownMessages().empty()) std::abort();  // a guarded block was overrun
  ClearInternalMessages();
  return 0;
}
