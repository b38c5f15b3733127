#include <cstdio>

#include "content/jpeg_to_bmp.h"

int ConvertJpegFile(const char* input, const char* output, BmpColours colours) {
  // djpeg takes char*, and the paths are copied so that nothing it might
  // write through them reaches the caller's strings.
  char in[300], out[300];
  if (std::snprintf(in, sizeof in, "%s", input) >= static_cast<int>(sizeof in) ||
      std::snprintf(out, sizeof out, "%s", output) >= static_cast<int>(sizeof out))
    return 1;
  char program[] = "djpeg.exe", nosmooth[] = "-nosmooth", colors[] = "-colors", count[] = "256", bmp[] = "-bmp";
  if (colours == BmpColours::Full) {
    char* argv[] = {program, bmp, in, out, nullptr};
    return ConvertJpegToBmp(4, argv);
  }
  char* argv[] = {program, nosmooth, colors, count, bmp, in, out, nullptr};
  return ConvertJpegToBmp(7, argv);
}
