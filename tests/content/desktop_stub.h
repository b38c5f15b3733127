// Test stand-ins for the desktop seam and the JPEG converter: every call is
// recorded; the converter's answer is set by the test.
#pragma once
#include <string>
#include <vector>

struct DesktopCalls {
  std::vector<std::string> wallpapers;            // SetWallpaper paths
  std::vector<std::string> wallpaperStyles;       // and the style's name each
  std::vector<std::string> played;                // PlayWaveFile paths
  std::vector<std::string> eventSounds;           // "keyPath|path"
  int playResult = 1;
  std::vector<std::vector<std::string>> conversions;  // argument vectors
  int convertResult = 0;
  // Written to the output when the conversion "succeeds" or leaves a partial file.
  std::string convertedBytes = "BMP";
};
DesktopCalls& Desktop();
