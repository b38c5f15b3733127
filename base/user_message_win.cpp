#include "base/user_message.h"

#include <windows.h>

UserMessageShell UserMessageHooks;

void UserMessage(const char* text, WindowRef owner) {
  if (!owner && UserMessageHooks.mainWindow) owner = UserMessageHooks.mainWindow();
  HWND window = static_cast<HWND>(owner);
  // A box owned by a window that has gone away would not show at all.
  if (window && !IsWindow(window)) window = nullptr;
  if (UserMessageHooks.beforeShow) UserMessageHooks.beforeShow();
  const UINT front = UserMessageHooks.toFront && UserMessageHooks.toFront() ? MB_SETFOREGROUND : 0;
  MessageBoxA(window, text ? text : "", UserMessageHooks.caption ? UserMessageHooks.caption : "VelmorW",
              MB_OK | front);
}
