// Two processes rewriting velmor.cfg at the same time, as the normal and the
// transfer instance do: no write of either may be lost.
#include <gtest/gtest.h>

#include <string>

#include "config/config_file.h"
#include "tests/config/spawn.h"
#include "tests/config/test_support.h"

namespace {

TEST(TwoWriters, EveryKeyOfBothProcessesIsKept) {
  const int count = 200;
  std::string dir = MakeTempDirectory("two");
  std::string go = JoinPath(dir, "go");
  WriteFile(JoinPath(dir, ConfigFileName), "Shared=yes\r\n");
  intptr_t a = StartWriter({dir, "A", std::to_string(count), go});
  intptr_t b = StartWriter({dir, "B", std::to_string(count), go});
  ASSERT_NE(a, -1);
  ASSERT_NE(b, -1);
  WriteFile(go, "");
  EXPECT_EQ(WaitWriter(a), 0);
  EXPECT_EQ(WaitWriter(b), 0);

  UseDataDirectory(dir);
  int missing = 0;
  for (const char* prefix : {"A", "B"}) {
    for (int i = 0; i < count; ++i) {
      std::string key = std::string(prefix) + "-" + std::to_string(i);
      char value[20];
      if (!ConfigGet(value, sizeof value, key.c_str(), ConfigFileName) || value != std::to_string(i)) ++missing;
    }
  }
  EXPECT_EQ(missing, 0) << "keys lost to the other process's write";
  std::string bytes = ReadFile(JoinPath(dir, ConfigFileName));
  std::size_t lines = 0;
  for (std::size_t at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 2u * count + 1);
  EXPECT_EQ(bytes.rfind("Shared=yes\r\n", 0), 0u);
  DataDirectory[0] = '\0';
  RemoveTempDirectory(dir);
}

}  // namespace
