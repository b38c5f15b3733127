// The system's own time scale: whole seconds (and minutes) of local
// wall-clock time since 1970-01-01 00:00:00, on a calendar in which every year
// divisible by 4 is a leap year (exact for 1901 to 2099), and the one random
// number generator that the program uses.
#pragma once
#include <cstdint>

struct ClockParts {
  int month;  // 1-12
  int day;    // 1-31
  int year;   // e.g. 1998
  int hour;   // 0-23
  int minute;
  int second;
};

int32_t ClockNow();
// The local calendar time now, straight from the calendar: exact past
// January 2038, where the 32-bit ClockNow value wraps.
void ClockNowParts(ClockParts* out);
int32_t ClockMake(int month, int day, int year, int hour, int minute, int second);
void ClockSplit(int32_t value, ClockParts* out);
int32_t MinuteNow();

// Reseeds from (UTC seconds since 1970) mod 100000 on every call, draws the
// next value of state = state * 214013 + 2531011 (bits 16..30) and returns it
// modulo n (n >= 1).
int RandomBelow(int n);

// Test seam: replaces the sources of local calendar time and of UTC seconds.
// Pass nullptr to return to the real clock.
using LocalTimeSource = void (*)(ClockParts* out);
using UtcSecondsSource = int64_t (*)();
void ClockSetSourcesForTesting(LocalTimeSource local, UtcSecondsSource utc);
