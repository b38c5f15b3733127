// Bookkeeping of the transport's waits: a wait fails when more than
// TransferTimeout seconds have passed since its reference point (its start,
// or its last progress). Seconds are counted on a monotonic clock, so that
// a change of the local time (daylight saving, the user setting the clock)
// neither lengthens a wait nor ends every wait at once.
#pragma once
#include <cstdint>

struct WaitTimer {
  int64_t since; // monotonic seconds of the reference point
};

WaitTimer WaitTimerStart();
void WaitTimerRestart(WaitTimer* timer);
bool WaitTimerExpired(const WaitTimer& timer);

// Test seam: the monotonic seconds; nullptr restores the real clock.
using MonotonicSecondsSource = int64_t (*)();
void WaitTimerSetSourceForTesting(MonotonicSecondsSource source);
