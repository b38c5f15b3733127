#include "tests/net/test_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string MakeTestDir(const std::string& name) {
#ifdef VELMOR_TEST_TMP
  // Natively /tmp is shared by every checkout and tree on the machine: two
  // runs of one test there would remove each other's files.
  fs::path dir = fs::path(VELMOR_TEST_TMP) / ("velmor-test-" + name);
#else
  // Under Wine the temporary directory is inside the tree's own prefix.
  fs::path dir = fs::temp_directory_path() / ("velmor-test-" + name);
#endif
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

bool FileExists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> ListFiles(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}
