#include "app/shell_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "config/settings_table.h"

LayoutAction DecideLayout(int outerWidth, int outerHeight) {
  if (outerWidth < MinLayoutWidth || outerHeight < MinLayoutHeight) return LayoutAction::Skip;
  if (outerHeight < SnapHeight) return LayoutAction::SnapAndPlace;
  return LayoutAction::Place;
}

int ScaleForDpi(int pixels, int dpi) {
  if (dpi == BaseDpi) return pixels;
  const int64_t product = int64_t(pixels) * dpi;
  const int64_t half = BaseDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / BaseDpi : -((-product + half) / BaseDpi));
}

ChildLayout LayoutChildren(int w, int h, int dpi) {
  auto s = [dpi](int v) { return ScaleForDpi(v, dpi); };
  const int margin = s(LayoutMargin), status = s(StatusHeight);
  ChildLayout c;
  c.title = {w - s(125), h - status, s(170), status};
  c.activity = {margin, h - s(105), w - 2 * margin, s(95)};
  c.text = {margin, margin, w - 2 * margin, h - s(125)};
  return c;
}

namespace {

ShellRect StatusRowRect(int x, int width, int clientHeight, int dpi) {
  const int status = ScaleForDpi(StatusHeight, dpi);
  return {ScaleForDpi(x, dpi), clientHeight - status + 1, ScaleForDpi(width, dpi), status};
}

constexpr int TransferMessageHeight = 52;
constexpr int TransferMessageBottomMargin = 2;

}  // namespace

ShellRect HoldLabelRect(int h, int dpi) { return StatusRowRect(5, 80, h, dpi); }
ShellRect WaitLabelRect(int h, int dpi) { return StatusRowRect(90, 125, h, dpi); }
ShellRect TrailerLabelRect(int h, int dpi) { return StatusRowRect(90, 225, h, dpi); }

ShellRect TransferMessageRect(int textWidth, int screenWidth, int screenHeight, int dpi, int frameHeight) {
  const ShellRect label = TransferMessageTextRect(textWidth, dpi);
  const ShellRect button = TransferMessageButtonRect(textWidth, dpi);
  const int content = std::max(label.y + label.height, button.y + button.height) +
                      ScaleForDpi(TransferMessageBottomMargin, dpi);
  ShellRect r;
  r.width = textWidth + ScaleForDpi(145, dpi);
  r.height = std::max(ScaleForDpi(TransferMessageHeight, dpi), frameHeight + content);
  // C++ division truncates towards zero, as the centring wants.
  r.x = screenWidth / 2 - r.width / 2;
  r.y = screenHeight / 2 - r.height / 2;
  return r;
}

ShellRect TransferMessageTextRect(int textWidth, int dpi) {
  return {ScaleForDpi(10, dpi), ScaleForDpi(7, dpi), textWidth, ScaleForDpi(18, dpi)};
}
ShellRect TransferMessageButtonRect(int textWidth, int dpi) {
  return {textWidth + ScaleForDpi(15, dpi), ScaleForDpi(5, dpi), ScaleForDpi(120, dpi), ScaleForDpi(18, dpi)};
}

bool PlacementUsable(const WindowPlacement& p, const ShellRect* monitors, int monitorCount) {
  if (p.width < MinLayoutWidth || p.height < MinLayoutHeight) return false;
  if (p.width > MaxPlacementSize || p.height > MaxPlacementSize) return false;
  if (!monitors || monitorCount <= 0) return true;
  // 64-bit sums: left and top are whatever the file said.
  const int64_t left = p.left, top = p.top;
  const int64_t right = left + p.width, bottom = top + p.height;
  for (int i = 0; i < monitorCount; ++i) {
    const ShellRect& m = monitors[i];
    const int64_t mr = int64_t(m.x) + m.width, mb = int64_t(m.y) + m.height;
    if (left < mr && right > m.x && top < mb && bottom > m.y) return true;
  }
  return false;
}

WindowPlacement DefaultPlacement() {
  return {std::atoi(SettingOf(Setting::WindowLeft).defaultValue), std::atoi(SettingOf(Setting::WindowTop).defaultValue),
          std::atoi(SettingOf(Setting::WindowWidth).defaultValue),
          std::atoi(SettingOf(Setting::WindowHeight).defaultValue)};
}

WindowPlacement PlacementForDpi(const WindowPlacement& stored, int dpi) {
  return {stored.left, stored.top, ScaleForDpi(stored.width, dpi), ScaleForDpi(stored.height, dpi)};
}

WindowPlacement PlacementToStore(const WindowPlacement& shown, int dpi) {
  auto unscale = [dpi](int v) {
    if (dpi <= 0 || dpi == BaseDpi) return v;
    const int64_t product = int64_t(v) * BaseDpi;
    return static_cast<int>(product >= 0 ? (product + dpi / 2) / dpi : -((-product + dpi / 2) / dpi));
  };
  return {shown.left, shown.top, unscale(shown.width), unscale(shown.height)};
}
