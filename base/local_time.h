// Seam: the platform's conversion of the current time to local calendar time.
//
// The C library spells the thread-safe conversion differently on each
// platform (localtime_r against localtime_s), so each gets its own small file.
#pragma once
#include <ctime>

// Converts t to local calendar time in *out. Returns false (and leaves *out
// zeroed) when the platform cannot convert it.
bool LocalCalendarTime(std::time_t t, std::tm* out);
