// Picture conversion: a received JPEG file becomes a Windows BMP of at most
// 256 colours, or on the user's choice a 24-bit one. It is libjpeg's own
// djpeg front end, run in this process.
#pragma once

// argv holds the djpeg command line in its two-file form, argc entries:
// {"djpeg.exe", "-nosmooth", "-colors", "256", "-bmp", input, output}.
// Returns 0 when the output file holds the converted picture, byte for byte
// what djpeg writes. Non-zero for every failure (not a JPEG, unreadable or
// empty input, corrupt or truncated data, a libjpeg warning, a picture this
// build cannot write as BMP or one larger than the size limit, an output
// that cannot be created); then a partial output file may remain, while the
// files are closed, libjpeg's memory is released and the process goes on.
// Not re-entrant: one conversion at a time, on one thread.
int ConvertJpegToBmp(int argc, char** argv);

// The two forms of the wallpaper. Palette256: "-nosmooth -colors 256 -bmp",
// an 8-bit colour-mapped BMP, small and quick. Full: "-bmp" alone, the
// 24-bit BMP djpeg writes with its default (fancy) upsampling, for a screen
// that shows every colour.
enum class BmpColours { Palette256, Full };

// Runs ConvertJpegToBmp with the mode's argument vector, input then output
// (jpeg_to_bmp_command.cpp, apart from the converter so that a test can
// stand in for the converter alone). Its result.
int ConvertJpegFile(const char* input, const char* output, BmpColours colours);
