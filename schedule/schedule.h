// The once-a-minute schedule and the server's status line.
//
// The schedule keeps nothing in memory: every tick reads each row's keys
// afresh from velmor.cfg, so a key changed between two ticks counts at the
// next one. Only the status line's pacing (TrailerBase, TrailerFetched)
// lives in the process.
#pragma once
#include <cstdint>

// Run by the main window on every timer message, inside the busy hold: paces
// the status line, then runs the update operation of every due row of the
// item table, in table order, logging "Event triggered: %s" and
// "Event ended: %s" around it; a nonzero result records the run with the
// minute taken after the operation returned.
//
// A row is due when its Interval key exists with a value above 0, its SELECT
// list is not blank, MinuteNow is at least Time + Interval, and its
// time-of-day window is open.
void ScheduleTick();

// Whether the row's time-of-day window is open now: always when its Enablest
// key is absent or 0; otherwise from Starth:Startm to Endh:Endm, both
// minutes included, never wrapping past midnight (a start after the end is
// never open).
bool TimeWindowOpen(int row);

// Writes the row's Time key ("%ld" of minute).
void RecordRun(int row, int32_t minute);

// Status-line pacing: start-up sets TrailerBase to ClockNow and clears
// TrailerFetched.
extern int32_t TrailerBase;
extern bool TrailerFetched;
void TrailerPaceStart();

// The first tick more than 20 minutes after TrailerBase fetches the status
// line (a failure moves TrailerBase to now); after a success the flag clears
// at the first tick more than a day after TrailerBase.
void TrailerPace();

// Asks the server for its status line (request 13) and stores it as
// Trailer: the response's text up to its first NUL for code 0, empty for
// any other code. False when no connection, send or receive succeeded.
bool TrailerFetch();

// Replaces the status-line label with the stored Trailer text, trimmed;
// absent or blank leaves no label.
void TrailerShow();
