// The transport's waits on the monotonic clock: the local time jumping an
// hour either way changes nothing, and the time-out comes after exactly
// TransferTimeout seconds.
#include <gtest/gtest.h>

#include "net/transport.h"
#include "net/wait_timer.h"
#include "base/clock.h"

namespace {

int64_t monotonic = 0;
int64_t Monotonic() { return monotonic; }

ClockParts local{3, 28, 1999, 1, 59, 30};
void Local(ClockParts* out) { *out = local; }

TEST(WaitTimer, MonotonicSecondsOnlyWhateverTheLocalTime) {
  WaitTimerSetSourceForTesting(Monotonic);
  ClockSetSourcesForTesting(Local, nullptr);
  TransferTimeout = 120;
  monotonic = 1000;
  WaitTimer timer = WaitTimerStart();
  local.hour = 3; // daylight saving begins: the local clock jumps an hour
  monotonic = 1120;
  EXPECT_FALSE(WaitTimerExpired(timer));
  local.hour = 0; // and back again, further
  monotonic = 1121;
  EXPECT_TRUE(WaitTimerExpired(timer));
  WaitTimerRestart(&timer);
  EXPECT_FALSE(WaitTimerExpired(timer));
  // A start near the end of a 32-bit count still expires.
  monotonic = 0x7FFFFFF0LL;
  timer = WaitTimerStart();
  monotonic += 121;
  EXPECT_TRUE(WaitTimerExpired(timer));
  WaitTimerSetSourceForTesting(nullptr);
  ClockSetSourcesForTesting(nullptr, nullptr);
}

}  // namespace
