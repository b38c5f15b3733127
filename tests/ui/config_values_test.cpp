// Intervals in and out of days, hours and minutes, and the stored category
// selection both ways.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/config_values.h"

namespace {

std::string Joined(long d, long h, long m) {
  char text[32];
  JoinInterval(d, h, FlooredMinutes(d, h, m), text, sizeof text);
  return text;
}

TEST(Interval, SplitAndJoinWithTheTenMinuteFloor) {
  EXPECT_EQ(Joined(0, 0, 5), "10");
  EXPECT_EQ(Joined(0, 0, 0), "10");
  EXPECT_EQ(Joined(0, 0, 10), "10");
  EXPECT_EQ(Joined(0, 0, 59), "59");
  EXPECT_EQ(Joined(0, 1, 5), "65");   // the floor only with 0 days and 0 hours
  EXPECT_EQ(Joined(1, 0, 0), "1440");
  EXPECT_EQ(Joined(1, 0, 3), "1443");
  EXPECT_EQ(Joined(365, 23, 59), "527039");

  const struct {
    long value;
    IntervalParts parts;
  } cases[] = {
      {1505, {1, 1, 5}}, {1440, {1, 0, 0}}, {59, {0, 0, 59}}, {60, {0, 1, 0}}, {0, {0, 0, 0}},
      {527039, {365, 23, 59}}, {527040, {366, 0, 0}},  // past the days combo: shown as nothing
      {-5, {0, 0, -5}}, {-1505, {-1, -1, -5}},
  };
  for (const auto& c : cases) {
    const IntervalParts p = SplitInterval(c.value);
    EXPECT_EQ(p.days, c.parts.days) << c.value;
    EXPECT_EQ(p.hours, c.parts.hours) << c.value;
    EXPECT_EQ(p.minutes, c.parts.minutes) << c.value;
  }
  // Every value the combos can show comes back unchanged.
  for (long d : {0L, 1L, 364L, 365L})
    for (long h = 0; h < 24; h += 7)
      for (long m = 0; m < 60; m += 13) {
        const long v = d * 1440 + h * 60 + m;
        const IntervalParts p = SplitInterval(v);
        EXPECT_TRUE(p.days == d && p.hours == h && p.minutes == m) << v;
      }
}

std::vector<long> Positions(const char* text) {
  std::vector<long> out;
  const char* cursor = text;
  long p = 0;
  while (NextSelectedPosition(&cursor, &p)) out.push_back(p);
  return out;
}

TEST(Selection, StoredFormAndItsWholeNumbers) {
  char text[SelectionTextMax + 1];
  const int some[] = {0, 3, 11};
  ASSERT_EQ(FormatSelection(some, 3, text, sizeof text), 1);
  EXPECT_STREQ(text, "0 3 11");
  ASSERT_EQ(FormatSelection(some, 0, text, sizeof text), 1);
  EXPECT_STREQ(text, "");

  // 3 and 11 are 3 and 11, never 1; garbage tokens are skipped.
  EXPECT_EQ(Positions("3 11"), (std::vector<long>{3, 11}));
  EXPECT_EQ(Positions("  3   11  "), (std::vector<long>{3, 11}));
  EXPECT_EQ(Positions("x 3 -1 1a 007 +2 11\t4"), (std::vector<long>{3, 7, 11, 4}));
  EXPECT_EQ(Positions("99999999999 12"), (std::vector<long>{12}));
  EXPECT_EQ(Positions(""), std::vector<long>{});
}

TEST(Selection, NeverStoredCut) {
  // 0 to 9 take 19 characters, 10 to 34 three more each (94), and " 1035"
  // makes exactly 99.
  std::vector<int> positions;
  for (int i = 0; i <= 34; ++i) positions.push_back(i);
  positions.push_back(1035);
  char text[SelectionTextMax + 1];
  ASSERT_EQ(FormatSelection(positions.data(), static_cast<int>(positions.size()), text, sizeof text), 1);
  EXPECT_EQ(std::string(text).size(), 99u);
  EXPECT_EQ(Positions(text).size(), 36u);

  positions.push_back(1036);  // 104 characters: refused, nothing half written
  EXPECT_EQ(FormatSelection(positions.data(), static_cast<int>(positions.size()), text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  const int big[] = {999999999};
  char small[4];
  EXPECT_EQ(FormatSelection(big, 1, small, sizeof small), 0);
}

}  // namespace
