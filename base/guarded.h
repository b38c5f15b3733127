// Guarded memory blocks: every buffer of variable size comes from here.
//
// A block of n usable bytes is laid out as
//   [int32 n, little-endian][n bytes, zero-filled]["Ovl."]
// GuardedFree checks the trailing marker; an overwritten one is reported to
// the user as "[Memory Overrun Error.]" (through UserMessage) and the block is
// still freed.
#pragma once
#include <cstddef>

// Returns the address of n zeroed usable bytes. n must be 0 or more. When the
// heap cannot supply the block the program reports it and ends; callers may
// assume success.
char* GuardedAlloc(int n);
// Run when GuardedAlloc finds no memory, after telling the user and before
// the program ends (the shell removes its tray icon here).
extern void (*OutOfMemoryCleanup)();

// Releases a block that GuardedAlloc returned; a null pointer is ignored.
void GuardedFree(void* p);

// Blocks allocated and not yet freed in this process (for tests and leak
// checks).
long GuardedOutstanding();
