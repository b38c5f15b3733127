// Background pictures and sounds: one file from the server per update,
// received into "import.bin" in the data directory and put to use under the
// row's own file name.
#pragma once

// Update operation of the Background row: request 2 with a category of the
// row's selection; the picture becomes the desktop wallpaper. 1 when a
// new picture was installed, else 0.
int BackgroundUpdate(int row);

// Turns the received file into the row's wallpaper file (the first 8
// characters of its name + ".bmp"): converted from JPEG into a 256-colour
// BMP (24-bit when "FullColour" is yes), or moved there unchanged when it is
// no JPEG the converter takes; then registered as wallpaper in the style
// velmor.cfg names (tiled unless the user chose otherwise). 0, or the file error number of a failed
// delete or rename.
int InstallPicture(int row, const char* importPath);

// Update operation of every sound row: request 3 with a category of the
// row's selection. Row 2's sound is played; a sound-event row's sound is
// installed as the event's current sound. 1 when a new sound was installed
// (or played), else 0.
int SoundUpdate(int row);

// Moves the received file to the row's sound file (its whole name + ".wav")
// and plays or registers it. 0, or the file error number of a failed delete
// or rename.
int InstallSound(int row, const char* importPath);

// The file name that a row's name gives in the data directory: characters
// that file names may not hold (control characters and \ / : * ? " < > |)
// become '_', and a name that a device owns (CON, NUL, COM1, ...) gets a '_'
// in front. The row's name and keys keep the original.
void SafeFileName(char* out, int size, const char* name);
