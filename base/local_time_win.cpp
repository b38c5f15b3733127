#include "base/local_time.h"

#include <cstring>

bool LocalCalendarTime(std::time_t t, std::tm* out) {
  std::memset(out, 0, sizeof *out);
  // The Microsoft runtime's form: destination first, zero on success.
  return localtime_s(out, &t) == 0;
}
