// Seam: what the picture and sound updates change outside the data
// directory: the desktop wallpaper, the sound played, the sound scheme.
// desktop_win.cpp implements it over the registry, SystemParametersInfo and
// PlaySound; the portable tests link a recording stand-in.
#pragma once

// HKCU "Control Panel\Desktop" "TileWallpaper" = "1" (when the key opens),
// then the wallpaper set to path with the change written to the user's
// profile. Failures are not reported.
void SetTiledWallpaper(const char* path);

// Plays the WAV file asynchronously, with no default sound and without
// stopping a sound in progress (PlaySound flags 0x20013). The call's result:
// nonzero when the sound started.
int PlayWaveFile(const char* path);

// Windows only: winmm's PlaySoundA with these arguments (module: an
// HMODULE or null), winmm loaded on the first call; 0 when it cannot be.
// The shell's start and end sounds use it too.
int CallPlaySound(const char* sound, void* module, unsigned flags);

// Sets the default value of the ".Current" subkey of the sound event at
// keyPath (under HKCU) to path. Failures are not reported.
void SetEventSound(const char* keyPath, const char* path);
