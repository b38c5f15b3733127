#include "ui/message_box.h"

#include "app/display_batch.h"
#include "app/globals.h"
#include "base/user_message.h"

void UserMessageOwner(const char* text, HWND owner) {
  // A box owned by a window that has gone away would not show at all.
  if (owner && !IsWindow(owner)) owner = nullptr;
  // The box shows over every line logged before it.
  FlushDisplay();
  // The transfer instance works unseen behind other windows for a long
  // time: its boxes come to the front, where the user sees them.
  MessageBoxA(owner, text ? text : "", MainClassName, MB_OK | (TransferInstance ? MB_SETFOREGROUND : 0));
}

void UserMessage(const char* text) { UserMessageOwner(text, MainWindow); }

HWND ApplySmallFont(HWND window) {
  if (window) SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(SmallFont), TRUE);
  return window;
}

void CopyControl(HWND parent, int controlId) { SendDlgItemMessageA(parent, controlId, WM_COPY, 0, 0); }
void CutControl(HWND parent, int controlId) { SendDlgItemMessageA(parent, controlId, WM_CUT, 0, 0); }
void PasteControl(HWND parent, int controlId) { SendDlgItemMessageA(parent, controlId, WM_PASTE, 0, 0); }
