#include "ui/message_box.h"

#include "app/globals.h"

HWND ApplySmallFont(HWND window) {
  if (window) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(Shell.SmallFont), TRUE);
  return window;
}
