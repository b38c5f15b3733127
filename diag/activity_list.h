// Seam: the on-screen activity list.
//
// ActivityListAdd appends one finished line (stamp, "-\t", message) at the
// bottom of the list, drops the oldest lines beyond ActivityListMax and
// scrolls to the last one. The Windows front end implements it over the main
// window's list box; tests link a recording stub.
#pragma once

constexpr int ActivityListMax = 500;

void ActivityListAdd(const char* line);
