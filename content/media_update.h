// Background pictures and sounds: one file from the server per update,
// received into "import.bin" in the data directory and put to use under the
// row's own file name.
#pragma once

// Update operation of the Background row: request 2 with a category of the
// row's selection; the picture becomes the tiled desktop wallpaper. 1 when a
// new picture was installed, or when one arrived that the desktop cannot
// show (it is dropped, and the row waits its interval as after a delivery);
// else 0.
int BackgroundUpdate(int row);

// InstallPicture's result for a received file that is neither a JPEG the
// converter takes nor a bitmap the desktop can show.
constexpr int PictureNotUsable = -1;

// Turns the received file into the row's wallpaper file (the first 8
// characters of its name + ".bmp"): converted from JPEG into a 256-colour
// BMP ("import.bmp" first), or used unchanged when it is a bitmap the
// desktop can show; the wallpaper file is replaced in one step, then
// registered as tiled wallpaper. 0; PictureNotUsable (the received file is
// removed, the wallpaper untouched); or the file error number of a failed
// replace (the old wallpaper and the received file stay).
int InstallPicture(int row, const char* importPath);

// Update operation of every sound row: request 3 with a category of the
// row's selection. Row 2's sound is played; a sound-event row's sound is
// installed as the event's current sound. 1 when a new sound was installed
// (or played), else 0.
int SoundUpdate(int row);

// Puts the received file in the place of the row's sound file (its whole
// name + ".wav") in one step and plays or registers it. 0, or the file error
// number of a failed replace (the old sound file and its setting stay).
int InstallSound(int row, const char* importPath);

// The file name that a row's name gives in the data directory: characters
// that file names may not hold (control characters and \ / : * ? " < > |)
// become '_', and a name that a device owns (CON, NUL, COM1, ...) gets a '_'
// in front. The row's name and keys keep the original.
void SafeFileName(char* out, int size, const char* name);
