#include "tests/config/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/config_file.h"
#include "diag/log.h"

namespace fs = std::filesystem;

namespace {

// Where the log puts its file: DataDirectory, LogBaseName, ".log", inside
// the data directory as this platform names it.
std::string LogFilePath() { return NativeLogPath(std::string(DataDirectory) + LogBaseName + ".log"); }

}  // namespace

std::string NativeLogPath(std::string path) {
#ifndef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

std::vector<std::string> InternalMessages() {
  // "stamp-VelmorW-message" CR LF; anything else is kept whole, so that an
  // unexpected line shows in a failed comparison.
  const std::string bytes = ReadFile(LogFilePath());
  const std::string mark = "-" + std::string(LogBaseName) + "-";
  std::vector<std::string> messages;
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    if (line.size() >= TimeStampLength + mark.size() && line.compare(TimeStampLength, mark.size(), mark) == 0)
      line.erase(0, TimeStampLength + mark.size());
    messages.push_back(line);
    at = end + 2;
  }
  return messages;
}

void ClearInternalMessages() { std::remove(LogFilePath().c_str()); }

std::string MakeTempDirectory(const char* tag) {
  static std::atomic<unsigned> counter{0};
  auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  fs::path dir = fs::temp_directory_path() /
                 ("vm-" + std::string(tag) + "-" + std::to_string(stamp % 1000000007ULL) + "-" +
                  std::to_string(counter++));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir.string();
}

void RemoveTempDirectory(const std::string& dir) {
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

void UseDataDirectory(const std::string& dir) {
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
  AddBackslash(DataDirectory, sizeof DataDirectory);
}

std::string JoinPath(const std::string& dir, const std::string& name) { return (fs::path(dir) / name).string(); }

namespace {

std::string TrimmedSpaces(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool SameAsciiNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string ExpectedRewrite(const std::string& before, const std::string& key, const std::string& value) {
  // Lines end at CR (with one LF after it); what follows the last CR is a
  // line of its own when it is not empty.
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < before.size()) {
    std::size_t cr = before.find('\r', at);
    if (cr == std::string::npos) {
      lines.push_back(before.substr(at));
      break;
    }
    lines.push_back(before.substr(at, cr - at));
    at = cr + 1;
    if (at < before.size() && before[at] == '\n') ++at;
  }
  std::string filler = key.size() < 20 ? std::string(20 - key.size(), ' ') : "";
  std::string out;
  bool found = false;
  for (const std::string& line : lines) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    bool readable = line.size() <= 499 && line.find('\0') == std::string::npos;
    if (readable && SameAsciiNoCase(TrimmedSpaces(line.substr(0, eq)), key)) {
      found = true;
      out += key + filler + "=" + value + "\r\n";
    } else {
      out += line + "\r\n";
    }
  }
  if (!found) out += key + "  =  " + value + "\r\n";
  return out;
}
