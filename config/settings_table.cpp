#include "config/settings_table.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "config/basic_settings.h"
#include "config/config_file.h"

namespace {

// In the order of Setting. The basic five come first, in the order in which
// a first start writes them.
const SettingEntry Table[SettingCount] = {
    {"Directory", sizeof DataDirectory, "", "Directory"},
    {"Port", sizeof ServerPort, "1123", "PORT"},
    {"VServerID", sizeof ServerHost, DefaultServerHost, "VSERVERID"},
    {"SaveLogToDisk", 11, "No", "SaveLogToDisk"},
    {"PlimSwitch", sizeof PlimSwitch, "No", "PlimSwitch"},
    {"WindowLeft", 100, "80", "WindowLeft"},
    {"WindowTop", 100, "137", "WindowTop"},
    {"WindowWidth", 100, "456", "WindowWidth"},
    {"WindowHeight", 100, "211", "WindowHeight"},
    {"Trailer", 200, nullptr, "Trailer"},
};

}  // namespace

const SettingEntry& SettingOf(Setting setting) { return Table[static_cast<int>(setting)]; }

// Copied by hand rather than formatted: the schedule composes three keys
// for every row at every tick, and the runtime's formatting costs several
// microseconds a call under Wine.
bool ItemKey(char* out, std::size_t size, const char* prefix, const char* itemName) {
  if (size == 0) return false;
  std::size_t used = 0;
  for (const char* part : {prefix, itemName}) {
    std::size_t n = std::strlen(part);
    std::size_t room = size - 1 - used;
    std::memcpy(out + used, part, n < room ? n : room);
    used += n < room ? n : room;
    if (n > room) {
      out[used] = '\0';
      return false;
    }
  }
  out[used] = '\0';
  return true;
}

void DonateCategoryKey(char* out, std::size_t size, int type) { std::snprintf(out, size, "DONATE-%d-CATEGORY", type); }

void DonateSlotKey(char* out, std::size_t size, int type, int slot) {
  std::snprintf(out, size, "DONATE-%d-%d", type, slot);
}
