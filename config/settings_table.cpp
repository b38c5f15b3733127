#include "config/settings_table.h"

#include <cstdio>
#include <cstring>

#include "config/basic_settings.h"
#include "config/config_file.h"

namespace {

// In the order of Setting. The basic five come first, in the order in which
// a first start writes them.
const SettingEntry Table[SettingCount] = {
    {"Directory", sizeof DataDirectory, ""},
    {"Port", sizeof ServerPort, "1123"},
    {"VServerID", sizeof ServerHost, DefaultServerHost},
    {"SaveLogToDisk", 11, "No"},
    {"PlimSwitch", sizeof PlimSwitch, "No"},
    {"WindowLeft", 100, "80"},
    {"WindowTop", 100, "137"},
    {"WindowWidth", 100, "456"},
    {"WindowHeight", 100, "211"},
    {"Trailer", 200, nullptr},
};

}  // namespace

const SettingEntry& SettingOf(Setting setting) { return Table[static_cast<int>(setting)]; }

bool ItemKey(char* out, std::size_t size, const char* prefix, const char* itemName) {
  if (size == 0) return false;
  int written = std::snprintf(out, size, "%s%s", prefix, itemName);
  return written >= 0 && static_cast<std::size_t>(written) < size;
}
