#include <windows.h>

#include <cstring>
#include <string>

#include "content/desktop_record.h"

namespace {

constexpr const char* RestoreRoot = "Software\\Velmor\\Restore";
constexpr const char* SchemePrefix = "AppEvents\\Schemes\\Apps\\";

enum PriorState : DWORD { NoKey = 0, NoValue = 1, HadValue = 2 };

HKEY CreateUserKey(const std::string& path) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

bool HasValue(HKEY key, const char* name) {
  return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void SetDword(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void SetString(HKEY key, const char* name, const char* value) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                 static_cast<DWORD>(std::strlen(value) + 1));
}

// Copies value `name` of `source` (null: the key is missing) into `record`
// under `as`, type and bytes unchanged, with its state beside it, unless the
// state is there already.
void RecordOnce(HKEY record, const char* as, HKEY source, const char* name) {
  std::string stateName = std::string(as) + "State";
  if (HasValue(record, stateName.c_str())) return;
  DWORD state = source ? NoValue : NoKey;
  DWORD type = 0, size = 0;
  if (source && RegQueryValueExA(source, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string bytes(size, '\0');
    if (RegQueryValueExA(source, name, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) ==
            ERROR_SUCCESS &&
        RegSetValueExA(record, as, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), size) == ERROR_SUCCESS)
      state = HadValue;
  }
  // The state goes last: a record without it is taken again next time.
  SetDword(record, stateName.c_str(), state);
}

std::string SoundRecordPath(const char* keyPath) {
  const char* name = keyPath;
  if (_strnicmp(keyPath, SchemePrefix, std::strlen(SchemePrefix)) == 0) name += std::strlen(SchemePrefix);
  return std::string(RestoreRoot) + "\\Sounds\\" + name;
}

}  // namespace

void RecordPriorWallpaper() {
  HKEY record = CreateUserKey(std::string(RestoreRoot) + "\\Desktop");
  if (!record) return;
  HKEY desktop = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &desktop) != ERROR_SUCCESS)
    desktop = nullptr;
  RecordOnce(record, "Wallpaper", desktop, "Wallpaper");
  RecordOnce(record, "TileWallpaper", desktop, "TileWallpaper");
  RecordOnce(record, "WallpaperStyle", desktop, "WallpaperStyle");
  if (desktop) RegCloseKey(desktop);
  RegCloseKey(record);
}

void RecordWallpaperSet(const char* path) {
  if (HKEY record = CreateUserKey(std::string(RestoreRoot) + "\\Desktop")) {
    SetString(record, "Set", path);
    RegCloseKey(record);
  }
}

void RecordPriorEventSound(const char* keyPath) {
  HKEY record = CreateUserKey(SoundRecordPath(keyPath));
  if (!record) return;
  if (!HasValue(record, "Key")) SetString(record, "Key", keyPath);
  HKEY current = nullptr;
  std::string currentPath = std::string(keyPath) + "\\.Current";
  if (RegOpenKeyExA(HKEY_CURRENT_USER, currentPath.c_str(), 0, KEY_READ, &current) != ERROR_SUCCESS)
    current = nullptr;
  RecordOnce(record, "Current", current, "");
  if (current) RegCloseKey(current);
  RegCloseKey(record);
}

void RecordEventSoundSet(const char* keyPath, const char* path) {
  if (HKEY record = CreateUserKey(SoundRecordPath(keyPath))) {
    SetString(record, "Set", path);
    RegCloseKey(record);
  }
}
