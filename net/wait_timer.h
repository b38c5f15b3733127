// Seconds-clock bookkeeping of the transport's waits: a wait fails when more
// than TransferTimeout seconds have passed on ClockNow since its reference
// point (its start, or its last progress).
#pragma once
#include <cstdint>

struct WaitTimer {
  int32_t since; // ClockNow of the reference point
};

WaitTimer WaitTimerStart();
void WaitTimerRestart(WaitTimer* timer);
bool WaitTimerExpired(const WaitTimer& timer);
