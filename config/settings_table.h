// Every key of velmor.cfg is built here. The program-wide settings are one
// table: the key, the size of the buffer its value is read into, the default
// written when it is missing, and the spelling the Configure dialog writes
// (keys compare without case, but a line takes the spelling of its last
// writer). Per-item keys are a prefix followed directly by the item's name
// ("Interval" + "Background"), composed by ItemKey; the donation keys by
// DonateCategoryKey and DonateSlotKey.
#pragma once
#include <cstddef>

struct SettingEntry {
  const char* key;
  std::size_t size;         // bytes of the buffer its value is read into
  const char* defaultValue; // written when the key is missing; nullptr: none
  const char* dialogKey;    // the spelling the Configure dialog writes it with
};

enum class Setting {
  Directory,
  Port,
  ServerHost,
  SaveLogToDisk,
  PlimSwitch,
  WindowLeft,
  WindowTop,
  WindowWidth,
  WindowHeight,
  Trailer,
};
constexpr int SettingCount = static_cast<int>(Setting::Trailer) + 1;

const SettingEntry& SettingOf(Setting setting);

// Reads the setting into out (at most size - 1 characters; the program's
// own buffer for it has the entry's size). A setting with a default gets it, stored, when missing: then
// 1 is returned as for a found one. Without a default: 1 found, 0 missing.
int ReadSetting(Setting setting, char* out, std::size_t size, const char* fileName);
int ReadSetting(Setting setting, char* out, std::size_t size);
// A numeric setting read as above (0 when missing and without default).
int ReadSettingNumber(Setting setting);
void WriteSetting(Setting setting, const char* value);
void WriteSettingNumber(Setting setting, int value);

// Prefixes of the per-item keys.
constexpr const char* IntervalPrefix = "Interval";
constexpr const char* TimePrefix = "Time";
constexpr const char* SelectPrefix = "SELECT";
constexpr const char* SelectDialogPrefix = "Select"; // as the Configure dialog writes it
constexpr const char* EnablestPrefix = "Enablest";
constexpr const char* StarthPrefix = "Starth";
constexpr const char* StartmPrefix = "Startm";
constexpr const char* EndhPrefix = "Endh";
constexpr const char* EndmPrefix = "Endm";

// The per-item key prefix + itemName into out. False when it does not fit
// (out then holds as much as fits, terminated, when size is not 0).
bool ItemKey(char* out, std::size_t size, const char* prefix, const char* itemName);

// "DONATE-<type>-CATEGORY": the category position chosen for an item type.
void DonateCategoryKey(char* out, std::size_t size, int type);
// "DONATE-<type>-<slot>": a file listed for donation.
void DonateSlotKey(char* out, std::size_t size, int type, int slot);
