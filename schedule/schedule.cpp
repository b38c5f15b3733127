#include "schedule/schedule.h"

#include "schedule/clock.h"

int32_t TrailerBase = 0;
bool TrailerFetched = false;

void TrailerPaceStart() {
  TrailerBase = ClockNow();
  TrailerFetched = false;
}

void ScheduleTick() {
  // Nothing is scheduled yet: the item table, the status-line fetch and the
  // update operations come with the item schedule.
}
