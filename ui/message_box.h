// The small font for the dialogs' controls. The shell implements it
// (app/message_box.cpp), since the font is its own. The message box is
// UserMessage (base/user_message.h).
#pragma once
#include <windows.h>

// Sets SmallFont on the window, redrawing it; returns the window.
HWND ApplySmallFont(HWND window);
