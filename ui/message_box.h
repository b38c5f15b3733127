// Small shared helpers over windows: the program's message box and the small
// font. The dialogs here use them;
// the shell implements them (app/message_box.cpp), since the caption, the
// font and the main window are its own.
#pragma once
#include <windows.h>

// The message box with an owner: modal, caption the main class name, OK
// only. A null or vanished owner gives a box without owner. (UserMessage in
// base/user_message.h is this box owned by MainWindow.)
void UserMessageOwner(const char* text, HWND owner);

// Sets SmallFont on the window, redrawing it; returns the window.
HWND ApplySmallFont(HWND window);
