// The djpeg front end of libjpeg, run in the program's own process.
#pragma once

// argv: {"djpeg.exe", "-nosmooth", "-colors", "256", "-bmp", input, output}.
// 0 = converted; non-zero = not converted (the program goes on).
int ConvertJpegToBmp(int argc, char** argv);
