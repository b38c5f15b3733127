// The schedule's tick when nothing is due: with all 199 rows in use (196
// sound events) against the 3 fixed rows, and against what the same key
// reads would cost one file read each. Run under Wine by run-tick-bench.sh.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "diag/log.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "schedule/schedule.h"

namespace {

int updates = 0;
int CountingUpdate(int) { return ++updates, 1; }

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

template <typename F>
double MedianMs(int runs, F f) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    f();
    times.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// velmor.cfg as a user with every row configured would have it: the eight
// per-item keys of every row, nothing due for an hour.
void WriteSettings() {
  std::string text = "Directory           =" + std::string(DataDirectory) + "\r\nPort                =1123\r\n";
  char minute[16];
  std::snprintf(minute, sizeof minute, "%ld", static_cast<long>(MinuteNow()));
  for (int row = 0; row < ItemCount(); ++row) {
    std::string name = ItemTable[row].name;
    const char* values[][2] = {{"Interval", "60"}, {"SELECT", "0 1 2"}, {"Time", minute}, {"Enablest", "1"},
                               {"Starth", "8"},    {"Startm", "0"},     {"Endh", "22"},   {"Endm", "30"}};
    for (auto& kv : values) text += std::string(kv[0]) + name + "  =  " + kv[1] + "\r\n";
  }
  std::string path = std::string(DataDirectory) + ConfigFileName;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "tick_bench: cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tick_bench DATA_DIRECTORY\\\n");
    return 2;
  }
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", argv[1]);
  std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
  SetItemUpdates(CountingUpdate, CountingUpdate, CountingUpdate);
  for (int i = 0; i < 300; ++i) {
    char event[16];
    std::snprintf(event, sizeof event, "Event %03d", i);
    if (!AddSoundEventRow("Application ", event)) break;
  }
  WriteSettings();
  // No status-line exchange during the run.
  TrailerPaceStart();
  TrailerFetched = true;

  const int runs = 41;
  const int rows = ItemCount();
  ScheduleTick();  // warm the file cache
  double full = MedianMs(runs, ScheduleTick);
  // What the same reads cost when each key reads the file anew.
  double perKey = MedianMs(5, [rows] {
    char value[100], key[ItemKeySize];
    for (int row = 0; row < rows; ++row)
      for (const char* prefix : {TimePrefix, IntervalPrefix, SelectPrefix})
        if (ItemKeyOf(key, sizeof key, prefix, row)) ConfigGet(value, sizeof value, key, ConfigFileName);
  });
  ReleaseSoundEventItems();
  double fixed = MedianMs(runs, ScheduleTick);

  std::printf("tick, nothing due, median of %d:\n", runs);
  std::printf("  %3d rows (196 sound events): %8.3f ms  (goal: under 10 ms)\n", rows, full);
  std::printf("  %3d rows (fixed only):       %8.3f ms\n", FixedItemRows, fixed);
  std::printf("  ratio 199 rows / 3 rows:     %8.2f\n", fixed > 0 ? full / fixed : 0.0);
  std::printf("  the same %d key reads one file read each: %8.3f ms (%.1f times the tick)\n", rows * 3, perKey,
              full > 0 ? perKey / full : 0.0);
  if (updates != 0) {
    std::printf("  error: %d update operations ran; nothing should be due\n", updates);
    return 1;
  }
  return 0;
}
