#include "content/wallpaper_style.h"

#include "config/config_file.h"
#include "config/settings_table.h"

namespace {

// The values Windows documents for each layout (Span, for a picture across
// all monitors, needs Windows 8 or later).
const WallpaperStyleEntry Styles[WallpaperStyleCount] = {
    {"Tile", "0", "1"},  {"Centre", "0", "0"}, {"Stretch", "2", "0"},
    {"Fit", "6", "0"},   {"Fill", "10", "0"},  {"Span", "22", "0"},
};

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = *a >= 'a' && *a <= 'z' ? static_cast<char>(*a - 32) : *a;
    char y = *b >= 'a' && *b <= 'z' ? static_cast<char>(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

}  // namespace

const WallpaperStyleEntry& WallpaperStyleOf(WallpaperStyle style) { return Styles[static_cast<int>(style)]; }

WallpaperStyle WallpaperStyleNamed(const char* name) {
  for (int i = 0; i < WallpaperStyleCount; ++i)
    if (SameIgnoringCase(name, Styles[i].name)) return static_cast<WallpaperStyle>(i);
  return WallpaperStyle::Tile;
}

WallpaperStyle ChosenWallpaperStyle() {
  char value[32] = "";
  ReadSetting(Setting::WallpaperStyle, value, sizeof value);
  return WallpaperStyleNamed(value);
}

bool FullColourWallpaper() {
  char value[11] = "";
  ReadSetting(Setting::FullColour, value, sizeof value);
  return IsYes(value);
}
