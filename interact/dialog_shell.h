// Seam: what the server interactions need of the dialog that started them.
//
// The exchanges run from a dialog and report to it: the transfer message
// pop-up is owned by the dialog (which it disables while it is up) and the
// message boxes are owned by the dialog too. The shell implements both over
// its windows (app/dialog_shell_win.cpp); native tests link a recording
// stand-in. A WindowRef is the dialog's window handle, or null for none.
#pragma once

using WindowRef = void*;

// Opens or replaces the transfer message pop-up with text, owned by owner;
// text == nullptr closes it and gives owner back its input and focus.
void ShowTransferMessageFor(const char* text, WindowRef owner);

// The program's message box (OK only) owned by owner; returns when closed.
void UserMessageFor(const char* text, WindowRef owner);
