// The rows of the item table as the Configure dialog uses them: display
// name, item type, per-item keys, the update operation and the timer.
#pragma once
#include <cstddef>

// Every composed per-item key fits in this many bytes (NUL included).
constexpr int ItemKeySize = 100;

int ItemRowCount();
const char* ItemRowDisplayName(int row);
int ItemRowType(int row);
// prefix followed directly by the row's name, in out[ItemKeySize].
void ItemKeyOf(char* out, const char* prefix, int row);
// The row's update operation, run at once (no schedule test, no RecordRun).
int RunItemUpdate(int row);
// Writes the row's Time key with minute.
void ResetItemTimer(int row, long minute);
