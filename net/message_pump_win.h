// Internal to net/ (Windows only): the message pump without its pacing.
#pragma once

// Dispatches every message that is waiting (at most `limit`), with the quit
// handling of PumpMessages, and returns when the queue is empty.
void DispatchWaitingMessages(int limit);
