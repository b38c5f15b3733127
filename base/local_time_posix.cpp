#include "base/local_time.h"

#include <cstring>

bool LocalCalendarTime(std::time_t t, std::tm* out) {
  std::memset(out, 0, sizeof *out);
  return localtime_r(&t, out) != nullptr;
}
