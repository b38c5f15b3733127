// The shell's side of interact/dialog_shell.h.
#include "interact/dialog_shell.h"

#include "app/message_box.h"
#include "app/status.h"

void ShowTransferMessageFor(const char* text, WindowRef owner) {
  ShowTransferMessage(text, static_cast<HWND>(owner));
}

void UserMessageFor(const char* text, WindowRef owner) { UserMessageOwner(text, static_cast<HWND>(owner)); }
