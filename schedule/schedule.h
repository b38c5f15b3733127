// The once-a-minute schedule and the server's status line.
#pragma once
#include <cstdint>

// Run by the main window on every timer message, inside the busy hold.
// The item table and its due-item walk are not part of this build yet, so a
// tick finds nothing due and fetches nothing.
void ScheduleTick();

// Status-line pacing: start-up sets TrailerBase to ClockNow and clears
// TrailerFetched.
extern int32_t TrailerBase;
extern bool TrailerFetched;
void TrailerPaceStart();

// Replaces the status-line label under the main window with the stored
// `Trailer` text, trimmed; absent or blank leaves no label.
void TrailerShow();
