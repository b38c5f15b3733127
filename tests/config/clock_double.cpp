// Stand-in for the clock in the configuration tests: a fixed local time and
// the program's generator over a replaceable source of UTC seconds.
#include <ctime>

#include "schedule/clock.h"

namespace {
UtcSecondsSource utcSource = nullptr;
int64_t Utc() { return utcSource ? utcSource() : static_cast<int64_t>(std::time(nullptr)); }
}  // namespace

int32_t ClockMake(int, int, int, int, int, int) { return 0; }
int32_t ClockNow() { return 0; }
void ClockSplit(int32_t, ClockParts* out) { *out = ClockParts{1, 1, 1970, 0, 0, 0}; }
int32_t MinuteNow() { return 0; }

int RandomBelow(int n) {
  uint32_t state = static_cast<uint32_t>(Utc() % 100000) * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7fff) % n;
}

void ClockSetSourcesForTesting(LocalTimeSource, UtcSecondsSource utc) { utcSource = utc; }
