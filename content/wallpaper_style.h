// How the wallpaper picture is laid out on the desktop, as velmor.cfg names
// it ("WallpaperStyle") and as the registry under HKCU "Control Panel\Desktop"
// takes it: "WallpaperStyle" together with "TileWallpaper". A desktop of
// Windows 10 or 11 whose style is Fill stretches a picture that has only
// "TileWallpaper" = "1", so both are always written.
#pragma once

enum class WallpaperStyle { Tile, Centre, Stretch, Fit, Fill, Span };
constexpr int WallpaperStyleCount = 6;

struct WallpaperStyleEntry {
  const char* name;            // as stored in velmor.cfg and listed in the Configure dialog
  const char* wallpaperStyle;  // registry "WallpaperStyle"
  const char* tileWallpaper;   // registry "TileWallpaper"
};

const WallpaperStyleEntry& WallpaperStyleOf(WallpaperStyle style);

// The style a stored name means (letter case ignored); anything else, the
// empty or missing value included, is Tile.
WallpaperStyle WallpaperStyleNamed(const char* name);

// The user's choice from velmor.cfg: "WallpaperStyle", and "FullColour"
// ("Yes": the picture becomes a 24-bit BMP instead of a 256-colour one).
WallpaperStyle ChosenWallpaperStyle();
bool FullColourWallpaper();
