// Geometry of the shell's windows, in pixels: the arithmetic only, so that
// it is the same on every platform and testable without windows.
#pragma once

struct ShellRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Every length below is in pixels at 96 DPI (100 % scaling), where the
// windows are exactly as they always were; at another DPI each length is
// scaled by ScaleForDpi before it is used.
constexpr int BaseDpi = 96;
// pixels * dpi / 96, rounded to the nearest pixel (as MulDiv rounds).
int ScaleForDpi(int pixels, int dpi);

constexpr int LayoutMargin = 5;
constexpr int StatusHeight = 13;
constexpr int MinLayoutWidth = 90;   // outer width below which nothing is laid out
constexpr int MinLayoutHeight = 60;  // outer height below which nothing is laid out
constexpr int SnapHeight = 200;      // outer heights below this are raised to it

// What a size or move message does with the outer window size.
enum class LayoutAction {
  Skip,           // too small: no layout and no default processing
  SnapAndPlace,   // raise the height to SnapHeight first, then place the children
  Place,          // place the children
};
LayoutAction DecideLayout(int outerWidth, int outerHeight);

// The three children of the main window for a client area W x H.
struct ChildLayout {
  ShellRect title;     // W - 125, H - 13, 170 x 13 (reaches past the right edge)
  ShellRect activity;  // 5, H - 105, (W - 10) x 95
  ShellRect text;      // 5, 5, (W - 10) x (H - 125)
};
ChildLayout LayoutChildren(int clientWidth, int clientHeight, int dpi = BaseDpi);

// Labels of the status row for a client height H (all at y = H - 13 + 1).
ShellRect HoldLabelRect(int clientHeight, int dpi = BaseDpi);     // x 5, 80 wide
ShellRect WaitLabelRect(int clientHeight, int dpi = BaseDpi);     // x 90, 125 wide
ShellRect TrailerLabelRect(int clientHeight, int dpi = BaseDpi);  // x 90, 225 wide

// The transfer message pop-up for a text measured textWidth pixels wide:
// 145 pixels wider than the text, 52 high, centred on a screen of the given
// size (each half truncated towards zero). frameHeight is what the system's
// caption and borders take of the height: the pop-up grows beyond 52 when
// they leave the label and the button less than their height and a margin
// (a caption taller than the 19 pixels of a classic one).
ShellRect TransferMessageRect(int textWidth, int screenWidth, int screenHeight, int dpi = BaseDpi,
                              int frameHeight = 0);
ShellRect TransferMessageTextRect(int textWidth, int dpi = BaseDpi);    // 10, 7, textWidth x 18
ShellRect TransferMessageButtonRect(int textWidth, int dpi = BaseDpi);  // textWidth + 15, 5, 120 x 18

// Placement of the main window: left, top, width, height of the outer
// rectangle.
struct WindowPlacement {
  int left;
  int top;
  int width;
  int height;
};
// The placement of the settings' defaults (80, 137, 456 x 211).
WindowPlacement DefaultPlacement();
// The stored width and height are the window's size at 96 DPI: a placement
// read for a window at dpi gets its size scaled, and one written from it
// is scaled back (the position is the screen's, in pixels, either way).
WindowPlacement PlacementForDpi(const WindowPlacement& stored, int dpi);
WindowPlacement PlacementToStore(const WindowPlacement& shown, int dpi);
constexpr WindowPlacement TransferPlacement{120, 0, 456, 211};
// Outer sizes beyond this are not a window anybody made by dragging.
constexpr int MaxPlacementSize = 16384;

// A stored placement is used only when the window can be found and used
// there: its size is at least MinLayoutWidth x MinLayoutHeight and at most
// MaxPlacementSize each way, and it overlaps at least one monitor. (A window
// saved while minimised sits near -32000, -32000 and would otherwise reopen
// where nobody can see it.) With no monitor given, only the size counts.
bool PlacementUsable(const WindowPlacement& p, const ShellRect* monitors, int monitorCount);
