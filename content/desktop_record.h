// What the desktop looked like before Velmor first changed it, kept so that
// the uninstaller can give it back. Under HKCU "Software\Velmor\Restore":
//
//   Desktop                     the wallpaper
//     Wallpaper, TileWallpaper, the values "Control Panel\Desktop" held, with
//     WallpaperStyle            their registry type
//     WallpaperState,           2: the value was there; 1: it was not
//     TileWallpaperState,       (DWORD)
//     WallpaperStyleState
//     Set                       the wallpaper path Velmor set last
//   Sounds\<application>\<event>   one key per sound event Velmor changed
//     Key                       the event's key path under HKCU
//     Current                   the default value of its ".Current" subkey,
//                               with its registry type
//     CurrentState              2: the value was there; 1: ".Current" had no
//                               default value; 0: there was no ".Current"
//     Set                       the sound file Velmor set last
//
// Each prior value and its state are written once, before the first change,
// and never again; "Set" follows every change, so that a value the user
// changed by hand since can be told apart and left alone.
#pragma once

// The desktop seam calls these just before each change; failures are
// ignored (a change that could not be recorded is still made).
void RecordPriorWallpaper();
void RecordWallpaperSet(const char* path);
void RecordPriorEventSound(const char* keyPath);
void RecordEventSoundSet(const char* keyPath, const char* path);
