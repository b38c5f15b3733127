#include "ui/config_items.h"

#include <cstdio>

#include "config/config_file.h"
#include "content/text_fetch.h"

namespace {

struct Row {
  const char* name;
  int type;
  int (*update)(int row);
  const char* displayName;
};

int NoUpdate(int) { return 0; }

// The fixed rows until the schedule's item table takes their place.
const Row Rows[] = {
    {"Quote", 1, QuoteUpdate, "Velmor Quote"},
    {"Background", 2, NoUpdate, "Background Picture"},
    {"Randomsound", 3, NoUpdate, "Random Sound"},
};

}  // namespace

int ItemRowCount() { return static_cast<int>(sizeof Rows / sizeof Rows[0]); }
const char* ItemRowDisplayName(int row) { return Rows[row].displayName; }
int ItemRowType(int row) { return Rows[row].type; }
void ItemKeyOf(char* out, const char* prefix, int row) { std::snprintf(out, ItemKeySize, "%s%s", prefix, Rows[row].name); }
int RunItemUpdate(int row) { return Rows[row].update(row); }
void ResetItemTimer(int row, long minute) {
  char key[ItemKeySize];
  char value[32];
  ItemKeyOf(key, "Time", row);
  std::snprintf(value, sizeof value, "%ld", minute);
  ConfigSet(key, value, ConfigFileName);
}
