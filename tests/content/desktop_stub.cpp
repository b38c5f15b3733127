#include "tests/content/desktop_stub.h"

#include <cstdio>

#include "content/desktop.h"
#include "content/jpeg_to_bmp.h"

DesktopCalls& Desktop() {
  static DesktopCalls calls;
  return calls;
}

void SetWallpaper(const char* path, WallpaperStyle style) {
  Desktop().wallpapers.emplace_back(path);
  Desktop().wallpaperStyles.emplace_back(WallpaperStyleOf(style).name);
}

int PlayWaveFile(const char* path) {
  Desktop().played.emplace_back(path);
  return Desktop().playResult;
}

void SetEventSound(const char* keyPath, const char* path) {
  Desktop().eventSounds.push_back(std::string(keyPath) + "|" + path);
}

// Writes convertedBytes to the output either way, as a converter that fails
// half way may leave a partial file behind.
int ConvertJpegToBmp(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  Desktop().conversions.push_back(args);
  if (argc >= 2) {
    if (std::FILE* out = std::fopen(argv[argc - 1], "wb")) {
      std::fwrite(Desktop().convertedBytes.data(), 1, Desktop().convertedBytes.size(), out);
      std::fclose(out);
    }
  }
  return Desktop().convertResult;
}
