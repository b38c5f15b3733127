#include <windows.h>
#include <mmsystem.h>

#include <cstring>

#include "content/desktop.h"
#include "content/desktop_record.h"

void SetTiledWallpaper(const char* path) {
  RecordPriorWallpaper();
  RecordWallpaperSet(path);
  HKEY desktop;
  if (RegOpenKeyA(HKEY_CURRENT_USER, "Control Panel\\Desktop", &desktop) == ERROR_SUCCESS) {
    RegSetValueExA(desktop, "TileWallpaper", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
    RegCloseKey(desktop);
  }
  SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(path), SPIF_UPDATEINIFILE);
}

// winmm is loaded on first use: a quiet start never needs it, loading it is
// a good part of a start-up's cost, and most runs never play a received
// sound.
int CallPlaySound(const char* sound, void* module, unsigned flags) {
  using PlayFn = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
  static PlayFn play = nullptr;
  if (!play) {
    if (HMODULE winmm = LoadLibraryA("winmm.dll"))
      play = reinterpret_cast<PlayFn>(reinterpret_cast<void*>(GetProcAddress(winmm, "PlaySoundA")));
  }
  if (!play) return 0;
  return play(sound, static_cast<HMODULE>(module), flags);
}

int PlayWaveFile(const char* path) {
  return CallPlaySound(path, nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT | SND_NOSTOP);
}

void SetEventSound(const char* keyPath, const char* path) {
  HKEY event;
  if (RegOpenKeyA(HKEY_CURRENT_USER, keyPath, &event) != ERROR_SUCCESS) return;
  RecordPriorEventSound(keyPath);
  RecordEventSoundSet(keyPath, path);
  RegSetValueA(event, ".Current", REG_SZ, path, static_cast<DWORD>(std::strlen(path)));
  RegCloseKey(event);
}
