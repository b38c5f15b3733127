// The status line under the main window: a simple static child showing the
// server's last status text.
#include "schedule/status_line_win.h"

namespace {

StatusLineShell Host;
HWND TrailerLabel = nullptr;

}  // namespace

void SetStatusLineShell(const StatusLineShell& shell) { Host = shell; }

void PlaceStatusLineLabel(const RECT& r) {
  if (!TrailerLabel || !IsWindow(TrailerLabel)) return;
  SetWindowPos(TrailerLabel, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowStatusLineLabel(const char* text) {
  HWND main = Host.mainWindow ? Host.mainWindow() : nullptr;
  // The label dies with a main window that has gone; only a live one of the
  // current window is destroyed here.
  if (TrailerLabel && IsWindow(TrailerLabel) && GetParent(TrailerLabel) == main) DestroyWindow(TrailerLabel);
  TrailerLabel = nullptr;
  if (!text || !main) return;

  TrailerLabel = Host.createLabel(text);
}
