#include "ui/message_box.h"

#include "app/display_batch.h"
#include "app/globals.h"
#include "base/user_message.h"

void UserMessageOwner(const char* text, HWND owner) {
  // A box owned by a window that has gone away would not show at all.
  if (owner && !IsWindow(owner)) owner = nullptr;
  // The box shows over every line logged before it.
  FlushDisplay();
  MessageBoxA(owner, text ? text : "", MainClassName, MB_OK);
}

void UserMessage(const char* text) { UserMessageOwner(text, MainWindow); }

HWND ApplySmallFont(HWND window) {
  if (window) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(SmallFont), TRUE);
  return window;
}
