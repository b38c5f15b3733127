#include "schedule/category_pick.h"

#include <cstdint>
#include <cstring>

#include "config/config_file.h"
#include "base/clock.h"
#include "schedule/item_table.h"

namespace {

// Lenient decimal reading of a token: optional sign, digits; wraps in 32
// bits like every numeric setting.
int32_t TokenValue(const char* p, const char* end) {
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  uint32_t value = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

}  // namespace

int CategoryChoiceCount(const char* list) {
  int spaces = 1; // the one appended
  for (const char* p = list; *p; ++p) spaces += *p == ' ';
  return spaces;
}

int CategoryNumberAt(const char* list, int k) {
  const char* p = list;
  for (int skipped = 0; skipped < k && *p; ++p) skipped += *p == ' ';
  const char* end = p;
  while (*end && *end != ' ' && end - p < 10) ++end;
  return static_cast<int>(static_cast<uint32_t>(TokenValue(p, end)) + 1u);
}

int CategoryPickFromList(const char* list) {
  if (!list || !*list) return -1;
  return CategoryNumberAt(list, RandomBelow(CategoryChoiceCount(list)));
}

int CategoryPick(int row) {
  char key[ItemKeySize];
  if (!ItemKeyOf(key, sizeof key, SelectPrefix, row)) return -1;
  char list[500];
  if (!ConfigGet(list, sizeof list, key, ConfigFileName)) return -1;
  return CategoryPickFromList(list);
}
