// Seam: what the server interactions need of the dialog that started them.
//
// The exchanges run from a dialog and report to it: the transfer message
// pop-up is owned by the dialog (which it disables while it is up), and so
// are the message boxes (UserMessage with the dialog as owner). The pop-up is
// interact/dialog_shell_win.cpp, over the class and layout the shell
// registers; native tests link a recording stand-in.
#pragma once
#include "base/user_message.h"

// Opens or replaces the transfer message pop-up with text, for owner (or
// none); text == nullptr closes it and gives owner back its input and focus.
// The one entry point of the pop-up (the transport reaches it through
// ShellHooks).
void ShowTransferMessage(const char* text, WindowRef owner);
