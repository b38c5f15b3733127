#include "net/wait_timer.h"

#include <chrono>

#include "net/transport.h"

int TransferTimeout = 120;

namespace {

int64_t SteadySeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

MonotonicSecondsSource source = SteadySeconds;

}  // namespace

void WaitTimerSetSourceForTesting(MonotonicSecondsSource replacement) {
  source = replacement ? replacement : SteadySeconds;
}

WaitTimer WaitTimerStart() { return WaitTimer{source()}; }

void WaitTimerRestart(WaitTimer* timer) { timer->since = source(); }

bool WaitTimerExpired(const WaitTimer& timer) { return source() - timer.since > TransferTimeout; }
