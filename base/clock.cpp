#include "base/clock.h"

#include <ctime>

#include "base/local_time.h"

namespace {

constexpr int DaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int64_t SecondsPerDay = 86400;
// Four years of the simple calendar, the first of them a leap year.
constexpr int64_t DaysPerCycle = 4 * 365 + 1;

LocalTimeSource localSource = nullptr;
UtcSecondsSource utcSource = nullptr;

// Division rounding towards minus infinity: dates before 1970 count
// backwards and must land in the same years as dates after it.
int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if (a % b != 0 && (a < 0) != (b < 0)) --q;
  return q;
}

int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

// The 32-bit scale wraps rather than overflows: after January 2038 clock
// values continue from the negative end, and differences of nearby values
// stay right.
int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

// Days from 1970-01-01 to the given date on the simple calendar. A month
// outside 1..12 rolls into the neighbouring years instead of reading past
// the month table.
int64_t DayNumber(int64_t month, int64_t day, int64_t year) {
  year += FloorDiv(month - 1, 12);
  month = FloorMod(month - 1, 12) + 1;
  int64_t y = year - 1970;
  int64_t days = 365 * y + FloorDiv(y + 1, 4) + DaysBeforeMonth[month - 1];
  if (FloorMod(year, 4) == 0 && month > 2) ++days;
  return days + (day - 1);
}

void LocalNow(ClockParts* out) {
  if (localSource) {
    localSource(out);
    return;
  }
  std::tm tm;
  if (!LocalCalendarTime(std::time(nullptr), &tm)) {
    *out = ClockParts{1, 1, 1970, 0, 0, 0};
    return;
  }
  out->month = tm.tm_mon + 1;
  out->day = tm.tm_mday;
  out->year = tm.tm_year + 1900;
  out->hour = tm.tm_hour;
  out->minute = tm.tm_min;
  out->second = tm.tm_sec;
}

int64_t UtcSecondsNow() { return utcSource ? utcSource() : static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

int32_t ClockMake(int month, int day, int year, int hour, int minute, int second) {
  int64_t days = DayNumber(month, day, year);
  return Wrap32(days * SecondsPerDay + int64_t(hour) * 3600 + int64_t(minute) * 60 + second);
}

void ClockNowParts(ClockParts* out) {
  if (out) LocalNow(out);
}

int32_t ClockNow() {
  ClockParts now;
  LocalNow(&now);
  return ClockMake(now.month, now.day, now.year, now.hour, now.minute, now.second);
}

// The inverse of ClockMake over the whole 32-bit range (December 1901 to
// January 2038, all inside the years where the simple calendar is exact).
void ClockSplit(int32_t value, ClockParts* out) {
  if (!out) return;
  int64_t days = FloorDiv(value, SecondsPerDay);
  int64_t rem = int64_t(value) - days * SecondsPerDay;
  out->hour = static_cast<int>(rem / 3600);
  out->minute = static_cast<int>(rem / 60 % 60);
  out->second = static_cast<int>(rem % 60);

  // Count from 1968-01-01, the start of a four-year cycle.
  int64_t fromCycleStart = days + 366 + 365;
  int64_t cycle = FloorDiv(fromCycleStart, DaysPerCycle);
  int64_t dayInCycle = fromCycleStart - cycle * DaysPerCycle;
  int64_t year = 1968 + 4 * cycle;
  bool leap;
  int64_t dayOfYear;
  if (dayInCycle < 366) {
    leap = true;
    dayOfYear = dayInCycle;
  } else {
    leap = false;
    dayInCycle -= 366;
    year += 1 + dayInCycle / 365;
    dayOfYear = dayInCycle % 365;
  }
  int month = 12;
  while (month > 1 && DaysBeforeMonth[month - 1] + (leap && month > 2 ? 1 : 0) > dayOfYear) --month;
  int64_t monthStart = DaysBeforeMonth[month - 1] + (leap && month > 2 ? 1 : 0);
  out->month = month;
  out->day = static_cast<int>(dayOfYear - monthStart + 1);
  out->year = static_cast<int>(year);
}

// Counted from the calendar directly rather than from ClockNow, so that it
// stays exact past 2038, where the 32-bit clock value wraps.
int32_t MinuteNow() {
  ClockParts now;
  LocalNow(&now);
  int64_t days = DayNumber(now.month, now.day, now.year);
  return Wrap32(days * 1440 + int64_t(now.hour) * 60 + now.minute);
}

int RandomBelow(int n) {
  // Callers pass at least 1; anything else gets 0 rather than a division by
  // zero.
  if (n < 1) return 0;
  // The remainder of a (theoretical) negative time converts to unsigned the
  // way the C library's seeding would take it.
  uint32_t state = static_cast<uint32_t>(static_cast<int32_t>(UtcSecondsNow() % 100000));
  state = state * 214013u + 2531011u;
  int value = static_cast<int>((state >> 16) & 0x7fff);
  return value % n;
}

void ClockSetSourcesForTesting(LocalTimeSource local, UtcSecondsSource utc) {
  localSource = local;
  utcSource = utc;
}
