#include "ui/config_values.h"

#include <cstdio>
#include <cstring>

IntervalParts SplitInterval(long value) {
  IntervalParts p;
  p.minutes = value % 60;
  p.hours = ((value - p.minutes) / 60) % 24;
  p.days = (value - p.minutes - p.hours * 60) / 1440;
  return p;
}

void JoinInterval(long days, long hours, long minutes, char* out, std::size_t size) {
  std::snprintf(out, size, "%ld", days * 1440 + hours * 60 + minutes);
}

long FlooredMinutes(long days, long hours, long minutes) {
  return days == 0 && hours == 0 && minutes < 10 ? 10 : minutes;
}

int FormatSelection(const int* positions, int count, char* out, std::size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  std::size_t used = 0;
  for (int i = 0; i < count; ++i) {
    char piece[16];
    const int n = std::snprintf(piece, sizeof piece, "%s%ld", i ? " " : "", static_cast<long>(positions[i]));
    if (used + static_cast<std::size_t>(n) > static_cast<std::size_t>(SelectionTextMax) ||
        used + static_cast<std::size_t>(n) >= size) {
      out[0] = '\0';
      return 0;
    }
    std::memcpy(out + used, piece, static_cast<std::size_t>(n) + 1);
    used += static_cast<std::size_t>(n);
  }
  return 1;
}

int NextSelectedPosition(const char** cursor, long* position) {
  const char* p = *cursor;
  while (*p) {
    while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
    const char* start = p;
    bool digits = true;
    while (*p && static_cast<unsigned char>(*p) > ' ') {
      if (*p < '0' || *p > '9') digits = false;
      ++p;
    }
    if (p == start || !digits) continue;
    // Leading zeros aside, more than 9 digits is no position of any list.
    while (start < p - 1 && *start == '0') ++start;
    if (p - start > 9) continue;
    long value = 0;
    for (const char* d = start; d < p; ++d) value = value * 10 + (*d - '0');
    *cursor = p;
    *position = value;
    return 1;
  }
  *cursor = p;
  return 0;
}
