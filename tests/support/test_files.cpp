#include "tests/support/test_files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A folder this program made and removes when it ends. A child process
// that shares the object (a fork) leaves it to its parent.
struct PrivateFolder {
  explicit PrivateFolder(std::string madePath) : path(std::move(madePath)) {}
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::string path;  // as this program opens it
#ifdef _WIN32
  DWORD owner = GetCurrentProcessId();
  bool Mine() const { return GetCurrentProcessId() == owner; }
#else
  pid_t owner = getpid();
  bool Mine() const { return getpid() == owner; }
#endif
  ~PrivateFolder() {
    if (path.empty() || !Mine()) return;
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

[[noreturn]] void NoFolder(const std::string& where) {
  std::fprintf(stderr, "test files: cannot make a private folder in %s\n", where.c_str());
  std::abort();
}

#ifdef _WIN32
// Programs run side by side (and process ids come back soon under Wine):
// the first name nobody holds wins.
std::string MakeUnique(const std::string& prefix) {
  const unsigned long stamp = static_cast<unsigned long>(GetTickCount64());
  for (unsigned long attempt = 0; attempt < 1000; ++attempt) {
    // Six digits: with the prefix "vt" a name of eight characters, which
    // is its own short (8.3) name.
    char name[16];
    std::snprintf(name, sizeof name, "%06lx", (GetCurrentProcessId() * 4099UL + stamp + attempt) & 0xFFFFFFUL);
    const std::string path = prefix + name;
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
  }
  NoFolder(prefix);
}
#endif

}  // namespace

std::string TestRoot() {
  static const PrivateFolder folder([] {
#ifdef _WIN32
    char base[MAX_PATH];
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n >= sizeof base) NoFolder("the temporary directory");
    return MakeUnique(std::string(base) + "vt");
#else
    std::string pattern = (fs::temp_directory_path() / "velmor-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) NoFolder(pattern);
    return pattern;
#endif
  }());
  return folder.path;
}

#ifdef _WIN32
std::string UnixTestRoot() {
  // Wine shows the Unix root as drive Z:.
  static const PrivateFolder folder(MakeUnique("Z:\\tmp\\velmor-"));
  std::string unixPath = folder.path.substr(2);
  std::replace(unixPath.begin(), unixPath.end(), '\\', '/');
  return unixPath;
}
#endif

std::string MakeTestDir(const std::string& name) {
  const fs::path dir = fs::path(TestRoot()) / name;
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  fs::create_directories(dir);
  std::string out = dir.string();
  out += static_cast<char>(fs::path::preferred_separator);
  return out;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> ListFiles(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ignored;
  for (const auto& entry : fs::recursive_directory_iterator(dir, ignored)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}
