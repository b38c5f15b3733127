// The category pick: the token the random draw selects, plus one.
#include <gtest/gtest.h>

#include <cstdio>

#include "config/config_file.h"
#include "schedule/category_pick.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "tests/support/test_files.h"

namespace {

int64_t utc = 0;
int64_t Utc() { return utc; }

int Draw(int n) {
  uint32_t state = static_cast<uint32_t>(utc % 100000);
  state = state * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFF) % n;
}

TEST(CategoryPick, TokensOfTheList) {
  EXPECT_EQ(CategoryChoiceCount("4"), 1);
  EXPECT_EQ(CategoryChoiceCount("0 1 2"), 3);
  EXPECT_EQ(CategoryNumberAt("4", 0), 5);
  EXPECT_EQ(CategoryNumberAt("0 3 5", 0), 1);
  EXPECT_EQ(CategoryNumberAt("0 3 5", 1), 4);
  EXPECT_EQ(CategoryNumberAt("0 3 5", 2), 6);
  EXPECT_EQ(CategoryNumberAt("12345678901234", 0), 1234567891); // at most 10 characters
  EXPECT_EQ(CategoryNumberAt("7  9", 1), 1);                      // an empty token reads 0
  EXPECT_EQ(CategoryNumberAt("x 9", 0), 1);
}

TEST(CategoryPick, DrawsWithRandomBelow) {
  ClockSetSourcesForTesting(nullptr, Utc);
  const int numbers[] = {1, 4, 6};
  for (utc = 1000; utc < 1040; ++utc) EXPECT_EQ(CategoryPickFromList("0 3 5"), numbers[Draw(3)]) << utc;
  EXPECT_EQ(CategoryPickFromList("4"), 5);
  EXPECT_EQ(CategoryPickFromList(""), -1);
  ClockSetSourcesForTesting(nullptr, nullptr);
}

TEST(CategoryPick, ReadsTheItemsSelectKey) {
  std::string dir = MakeTestDir("category-pick");
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
  EXPECT_EQ(CategoryPick(BackgroundRow), -1);
  ConfigSet("SelectBackground", "2", ConfigFileName); // keys ignore case
  EXPECT_EQ(CategoryPick(BackgroundRow), 3);
  ConfigSet("SelectBackground", "   ", ConfigFileName);
  EXPECT_EQ(CategoryPick(BackgroundRow), -1);
}

}  // namespace
