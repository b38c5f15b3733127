// Reading and writing the settings of the table through the store (kept
// apart from the table, so that code that only needs a key or a default
// does not link the store).
#include <cstdio>

#include "config/config_file.h"
#include "config/settings_table.h"

int ReadSetting(Setting setting, char* out, std::size_t size, const char* fileName) {
  const SettingEntry& entry = SettingOf(setting);
  if (!entry.defaultValue) return ConfigGet(out, size, entry.key, fileName);
  ConfigGetDefault(out, size, entry.key, entry.defaultValue, fileName);
  return 1;
}

int ReadSetting(Setting setting, char* out, std::size_t size) {
  return ReadSetting(setting, out, size, ConfigFileName);
}

int ReadSettingNumber(Setting setting) {
  char value[500];
  if (!ReadSetting(setting, value, sizeof value)) return 0;
  return DecimalValue(value);
}

void WriteSetting(Setting setting, const char* value) { ConfigSet(SettingOf(setting).key, value, ConfigFileName); }

void WriteSettingNumber(Setting setting, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  WriteSetting(setting, text);
}

