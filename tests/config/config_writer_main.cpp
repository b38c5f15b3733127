// Helper for the two-process test: config_writer DIR PREFIX COUNT GOFILE
// waits until GOFILE exists, then stores COUNT keys "PREFIX-i" with the
// value i in DIR's velmor.cfg, one write each.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "config/config_file.h"
#include "tests/config/test_support.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: config_writer DIR PREFIX COUNT GOFILE\n");
    return 2;
  }
  UseDataDirectory(argv[1]);
  int count = std::atoi(argv[3]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!FileExists(argv[4])) {
    if (std::chrono::steady_clock::now() > deadline) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (int i = 0; i < count; ++i) {
    std::string key = std::string(argv[2]) + "-" + std::to_string(i);
    ConfigSet(key.c_str(), std::to_string(i).c_str(), ConfigFileName);
  }
  return 0;
}
