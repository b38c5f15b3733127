// The calendar is checked against an independent count of days (the
// proleptic Gregorian calendar, which agrees with "every fourth year is a
// leap year" from 1901 to 2099), and the generator against values known from
// its definition.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <ctime>

#include "base/clock.h"

namespace {

// Days from 1970-01-01 to y-m-d in the Gregorian calendar, counted by eras of
// 400 years; shares nothing with the code under test.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

bool IsGregorianLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsGregorianLeap(y) ? 29 : days[m - 1];
}

ClockParts fixedLocal{1, 1, 1970, 0, 0, 0};
int64_t fixedUtc = 0;
void FixedLocal(ClockParts* out) { *out = fixedLocal; }
int64_t FixedUtc() { return fixedUtc; }

class ClockTest : public ::testing::Test {
 protected:
  void SetUp() override { ClockSetSourcesForTesting(FixedLocal, FixedUtc); }
  void TearDown() override { ClockSetSourcesForTesting(nullptr, nullptr); }
};

void ExpectParts(const ClockParts& p, int month, int day, int year, int hour, int minute, int second) {
  EXPECT_EQ(p.month, month);
  EXPECT_EQ(p.day, day);
  EXPECT_EQ(p.year, year);
  EXPECT_EQ(p.hour, hour);
  EXPECT_EQ(p.minute, minute);
  EXPECT_EQ(p.second, second);
}

// The reference generator, written out from its published definition.
int ReferenceRandom(int64_t utcSeconds) {
  uint64_t state = static_cast<uint64_t>(utcSeconds % 100000);
  state = (state * 214013 + 2531011) % (uint64_t(1) << 32);
  return static_cast<int>((state / 65536) % 32768);
}

}  // namespace

// Every day from 1901 to 2099, each at a different time of day: ClockMake
// against the independent count (wrapped to 32 bits, as the scale is), the
// minute scale exactly, and ClockSplit back to the same date wherever the
// 32-bit value reaches.
TEST_F(ClockTest, CalendarMatchesIndependentDayCountFrom1901To2099) {
  int checked = 0, splitChecked = 0;
  for (int y = 1901; y <= 2099; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= DaysInMonth(y, m); ++d, ++checked) {
        const int h = checked % 24, mi = (checked * 7) % 60, s = (checked * 13) % 60;
        const int64_t seconds = DaysFromCivil(y, m, d) * 86400 + h * 3600 + mi * 60 + s;
        const int32_t value = ClockMake(m, d, y, h, mi, s);
        ASSERT_EQ(value, static_cast<int32_t>(static_cast<uint32_t>(seconds))) << y << "-" << m << "-" << d;

        fixedLocal = ClockParts{m, d, y, h, mi, s};
        ASSERT_EQ(MinuteNow(), DaysFromCivil(y, m, d) * 1440 + h * 60 + mi) << y << "-" << m << "-" << d;

        if (seconds >= INT32_MIN && seconds <= INT32_MAX) {
          ClockParts p{};
          ClockSplit(value, &p);
          ASSERT_TRUE(p.month == m && p.day == d && p.year == y && p.hour == h && p.minute == mi && p.second == s)
              << y << "-" << m << "-" << d << " " << h << ":" << mi << ":" << s << " came back as " << p.year << "-"
              << p.month << "-" << p.day << " " << p.hour << ":" << p.minute << ":" << p.second;
          ++splitChecked;
        }
      }
    }
  }
  EXPECT_EQ(checked, 72684);          // 199 years, 49 of them leap years
  EXPECT_GT(splitChecked, 49000);      // December 1901 to January 2038
}

TEST_F(ClockTest, LeapDaysAndYearEnds) {
  ClockParts p{};
  ClockSplit(ClockMake(1, 1, 1996, 0, 0, 0), &p);
  ExpectParts(p, 1, 1, 1996, 0, 0, 0);
  ClockSplit(ClockMake(12, 31, 1996, 23, 59, 59), &p);
  ExpectParts(p, 12, 31, 1996, 23, 59, 59);
  ClockSplit(ClockMake(12, 31, 1996, 23, 59, 59) + 1, &p);
  ExpectParts(p, 1, 1, 1997, 0, 0, 0);

  EXPECT_EQ(ClockMake(3, 1, 1996, 0, 0, 0) - ClockMake(2, 1, 1996, 0, 0, 0), 29 * 86400);
  EXPECT_EQ(ClockMake(3, 1, 1997, 0, 0, 0) - ClockMake(2, 1, 1997, 0, 0, 0), 28 * 86400);
  EXPECT_EQ(ClockMake(3, 1, 2000, 0, 0, 0) - ClockMake(2, 29, 2000, 0, 0, 0), 86400);

  ClockSplit(ClockMake(2, 29, 2000, 12, 0, 0), &p);
  ExpectParts(p, 2, 29, 2000, 12, 0, 0);
  ClockSplit(ClockMake(2, 29, 1904, 0, 0, 0), &p);
  ExpectParts(p, 2, 29, 1904, 0, 0, 0);
  ClockSplit(ClockMake(12, 31, 1968, 0, 0, 0), &p);  // last day of a leap year before 1970
  ExpectParts(p, 12, 31, 1968, 0, 0, 0);
}

TEST_F(ClockTest, SplitCoversTheWhole32BitRange) {
  ClockParts p{};
  ClockSplit(0, &p);
  ExpectParts(p, 1, 1, 1970, 0, 0, 0);
  ClockSplit(-1, &p);
  ExpectParts(p, 12, 31, 1969, 23, 59, 59);
  ClockSplit(INT32_MAX, &p);
  ExpectParts(p, 1, 19, 2038, 3, 14, 7);
  ClockSplit(INT32_MIN, &p);
  ExpectParts(p, 12, 13, 1901, 20, 45, 52);
  ClockSplit(0, nullptr);  // no destination: nothing happens
}

TEST_F(ClockTest, MonthOutsideTheYearRollsOverInsteadOfReadingPastTheTable) {
  EXPECT_EQ(ClockMake(13, 1, 1998, 0, 0, 0), ClockMake(1, 1, 1999, 0, 0, 0));
  EXPECT_EQ(ClockMake(0, 1, 1998, 0, 0, 0), ClockMake(12, 1, 1997, 0, 0, 0));
}

TEST_F(ClockTest, ClockNowAndMinuteNowReadTheLocalCalendar) {
  fixedLocal = ClockParts{3, 6, 1998, 13, 45, 30};
  const int32_t now = ClockNow();
  EXPECT_EQ(now, DaysFromCivil(1998, 3, 6) * 86400 + 13 * 3600 + 45 * 60 + 30);
  EXPECT_EQ(MinuteNow(), now / 60);
  // Past 2038 the seconds wrap but the minutes stay exact.
  fixedLocal = ClockParts{7, 4, 2090, 8, 1, 59};
  EXPECT_EQ(MinuteNow(), DaysFromCivil(2090, 7, 4) * 1440 + 8 * 60 + 1);
}

// Many moments (the first second of each minute and its last): the minute
// value is always the whole part of the clock value over 60.
TEST_F(ClockTest, MinuteNowIsClockNowOverSixty) {
  for (int y = 1970; y <= 2037; y += 3) {
    for (int m = 1; m <= 12; m += 5) {
      for (int s : {0, 59}) {
        fixedLocal = ClockParts{m, 28, y, (y + m) % 24, (y * m) % 60, s};
        ASSERT_EQ(MinuteNow(), ClockNow() / 60) << y << "-" << m << " second " << s;
      }
    }
  }
}

TEST(ClockRealTime, MinuteNowMatchesClockNowTakenInTheSameSecond) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int32_t before = ClockNow();
    const int32_t minute = MinuteNow();
    if (ClockNow() != before) continue;  // a second boundary passed; try again
    EXPECT_EQ(minute, before / 60);
    // And the scale is near the system's idea of time: within a day of UTC.
    const int64_t utc = static_cast<int64_t>(std::time(nullptr));
    EXPECT_LT(before > utc ? before - utc : utc - before, 86400);
    return;
  }
  FAIL() << "the clock never stood still for a moment";
}

TEST_F(ClockTest, RandomBelowFollowsTheGeneratorSeededFromTheSecond) {
  // The first value after seeding with 1 is 41 (a well-known value of this
  // generator); 100001 seconds reseed the same way.
  fixedUtc = 1;
  EXPECT_EQ(RandomBelow(32768), 41);
  fixedUtc = 100001;
  EXPECT_EQ(RandomBelow(32768), 41);
  fixedUtc = 0;
  EXPECT_EQ(RandomBelow(32768), 38);

  for (int64_t t = 900000000; t < 900000000 + 200 * 997; t += 997) {
    fixedUtc = t;
    for (int n : {1, 2, 7, 10, 1000, 32768, 100000}) {
      ASSERT_EQ(RandomBelow(n), ReferenceRandom(t) % n) << "t=" << t << " n=" << n;
    }
  }
}

TEST_F(ClockTest, RandomBelowRepeatsWithinOneSecondAndRejectsNoRange) {
  fixedUtc = 1234567890;
  const int first = RandomBelow(1000);
  EXPECT_EQ(RandomBelow(1000), first);
  fixedUtc = 1234567891;
  EXPECT_NE(RandomBelow(32768), ReferenceRandom(1234567890));
  EXPECT_EQ(RandomBelow(1), 0);
  EXPECT_EQ(RandomBelow(0), 0);
  EXPECT_EQ(RandomBelow(-5), 0);
}

TEST(ClockRealTime, RandomBelowRepeatsWithinTheSameSecond) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::time_t before = std::time(nullptr);
    const int a = RandomBelow(30000), b = RandomBelow(30000);
    if (std::time(nullptr) != before) continue;
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, ReferenceRandom(before) % 30000);
    return;
  }
  FAIL() << "the clock never stood still for a moment";
}
