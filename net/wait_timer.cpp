#include "net/wait_timer.h"

#include "net/transport.h"
#include "base/clock.h"

int TransferTimeout = 120;

WaitTimer WaitTimerStart() { return WaitTimer{ClockNow()}; }

void WaitTimerRestart(WaitTimer* timer) { timer->since = ClockNow(); }

bool WaitTimerExpired(const WaitTimer& timer) {
  // Differences in 64 bits: a clock value near the ends of its range must not
  // wrap into a negative (never expiring) wait.
  return static_cast<int64_t>(ClockNow()) - timer.since > TransferTimeout;
}
