#include "app/shell_layout.h"

#include <cstdint>
#include <cstdlib>

#include "config/settings_table.h"

LayoutAction DecideLayout(int outerWidth, int outerHeight) {
  if (outerWidth < MinLayoutWidth || outerHeight < MinLayoutHeight) return LayoutAction::Skip;
  if (outerHeight < SnapHeight) return LayoutAction::SnapAndPlace;
  return LayoutAction::Place;
}

ChildLayout LayoutChildren(int w, int h) {
  ChildLayout c;
  c.title = {w - 125, h - StatusHeight, 170, StatusHeight};
  c.activity = {LayoutMargin, h - 105, w - 2 * LayoutMargin, 95};
  c.text = {LayoutMargin, LayoutMargin, w - 2 * LayoutMargin, h - 125};
  return c;
}

namespace {

ShellRect StatusRowRect(int x, int width, int clientHeight) {
  return {x, clientHeight - StatusHeight + 1, width, StatusHeight};
}

}  // namespace

ShellRect HoldLabelRect(int h) { return StatusRowRect(5, 80, h); }
ShellRect WaitLabelRect(int h) { return StatusRowRect(90, 125, h); }
ShellRect TrailerLabelRect(int h) { return StatusRowRect(90, 225, h); }

ShellRect TransferMessageRect(int textWidth, int screenWidth, int screenHeight) {
  ShellRect r;
  r.width = textWidth + 145;
  r.height = 52;
  // C++ division truncates towards zero, as the centring wants.
  r.x = screenWidth / 2 - r.width / 2;
  r.y = screenHeight / 2 - r.height / 2;
  return r;
}

ShellRect TransferMessageTextRect(int textWidth) { return {10, 7, textWidth, 18}; }
ShellRect TransferMessageButtonRect(int textWidth) { return {textWidth + 15, 5, 120, 18}; }

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
