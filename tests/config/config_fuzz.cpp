// Fuzz target for the configuration reader and writer. The input is a key
// (its length in the first byte, then its bytes) and the file's contents.
// Reads must not crash; a write must give exactly the file that the rules
// make of the old one (every line with an equals sign kept, the key's lines
// replaced, the rest dropped), and the key must then read back. A view of
// the file answers every key as the file reads do.
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
  WriteFile(path, file);

  char out[64];
  ConfigGet(out, sizeof out, key.c_str(), ConfigFileName);
  ConfigGet(out, 3, "Port", ConfigFileName);
  ConfigGet(out, sizeof out, "", ConfigFileName);

  // The view against the file, for the fuzzed key and for the key of every
  // line of the file (as it stands, and in other letter case).
  ConfigView view;
  ConfigViewLoad(&view, ConfigFileName);
  std::string keys[8] = {key, "Port", ""};
  int count = 3;
  for (std::size_t at = 0; at < file.size() && count < 8;) {
    std::size_t cr = file.find('\r', at);
    std::string line = file.substr(at, cr == std::string::npos ? std::string::npos : cr - at);
    std::size_t equals = line.find('=');
    if (equals != std::string::npos) {
      std::string lineKey = line.substr(0, equals);
      lineKey.erase(0, lineKey.find_first_not_of(' '));
      while (!lineKey.empty() && lineKey.back() == ' ') lineKey.pop_back();
      keys[count++] = lineKey;
      if (count < 8) {
        for (char& c : lineKey) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c >= 'A' && c <= 'Z' ? c + 32 : c);
        keys[count++] = lineKey;
      }
    }
    if (cr == std::string::npos) break;
    at = cr + 1;
  }
  for (int i = 0; i < count; ++i) {
    char fromFile[40] = "", fromView[40] = "";
    int inFile = ConfigGet(fromFile, sizeof fromFile, keys[i].c_str(), ConfigFileName);
    int inView = ConfigViewGet(&view, fromView, sizeof fromView, keys[i].c_str());
    if (inFile != inView || std::strcmp(fromFile, fromView) != 0) std::abort();
  }
  ConfigViewRelease(&view);

  ConfigSet(key.c_str(), "2000", ConfigFileName);
  if (ReadFile(path) != ExpectedRewrite(file, key, "2000")) std::abort();
  if (!ConfigGet(out, sizeof out, key.c_str(), ConfigFileName) || std::strcmp(out, "2000") != 0) std::abort();
  if (!ShownMessages().empty()) std::abort();  // a guarded block was overrun
  ClearInternalMessages();
  return 0;
}
