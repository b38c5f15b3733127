// The status line under the main window.
#include <windows.h>

#include "app/globals.h"
#include "app/message_box.h"
#include "app/shell_layout.h"
#include "config/config_file.h"
#include "config/settings_table.h"
#include "schedule/schedule.h"

namespace {

HWND TrailerLabel = nullptr;

}  // namespace

void TrailerShow() {
  // The label dies with a main window that has gone; only a live one of the
  // current window is destroyed here.
  if (TrailerLabel && IsWindow(TrailerLabel) && GetParent(TrailerLabel) == MainWindow)
    DestroyWindow(TrailerLabel);
  TrailerLabel = nullptr;

  char text[200];
  if (!ReadSetting(Setting::Trailer, text, sizeof text)) return;
  TrimSpaces(text);
  if (!text[0]) return;

  RECT client{};
  GetClientRect(MainWindow, &client);
  const ShellRect r = TrailerLabelRect(client.bottom - client.top);
  TrailerLabel = CreateWindowA("STATIC", text, WS_CHILD | WS_VISIBLE | SS_SIMPLE, r.x, r.y, r.width,
                               r.height, MainWindow, nullptr, AppInstance, nullptr);
  ApplySmallFont(TrailerLabel);
}
