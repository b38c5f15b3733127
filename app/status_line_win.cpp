// The status line under the main window: a simple static child showing the
// server's last status text.
#include <windows.h>

#include "app/globals.h"
#include "app/main_window.h"
#include "app/status.h"
#include "ui/message_box.h"
#include "app/shell_layout.h"
#include "schedule/status_line.h"

namespace {

HWND TrailerLabel = nullptr;

}  // namespace

void PlaceStatusLineLabel(int clientHeight) {
  if (!TrailerLabel || !IsWindow(TrailerLabel)) return;
  const ShellRect r = TrailerLabelRect(clientHeight);
  SetWindowPos(TrailerLabel, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ShowStatusLineLabel(const char* text) {
  // The label dies with a main window that has gone; only a live one of the
  // current window is destroyed here.
  if (TrailerLabel && IsWindow(TrailerLabel) && GetParent(TrailerLabel) == Shell.MainWindow)
    DestroyWindow(TrailerLabel);
  TrailerLabel = nullptr;
  if (!text || !Shell.MainWindow) return;

  RECT client{};
  GetClientRect(Shell.MainWindow, &client);
  const ShellRect r = TrailerLabelRect(client.bottom - client.top, MainWindowDpi());
  TrailerLabel = CreateWindowA("STATIC", text, WS_CHILD | WS_VISIBLE | SS_SIMPLE, r.x, r.y, r.width,
                               r.height, Shell.MainWindow, nullptr, Shell.AppInstance, nullptr);
  ApplySmallFont(TrailerLabel);
}
