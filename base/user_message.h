// Seam: showing a message to the user.
//
// The program's modal message box (caption the main class name, OK only),
// returning when the user closed it: one entry point for every layer. The
// Windows side is base/user_message_win.cpp, told by start-up what it needs
// of the shell; native tests link a recording stand-in.
#pragma once

// A window handle, or null.
using WindowRef = void*;

// owner: the window the box belongs to; null: the main window. An owner that
// has gone away gives a box without owner.
void UserMessage(const char* text, WindowRef owner = nullptr);

// What the box needs of the shell (Windows only): the main window, the
// caption, and what must happen before a box shows (the activity lines
// logged so far are put on screen). A program without the shell leaves them
// empty: no owner, the caption "VelmorW", nothing before.
struct UserMessageShell {
  WindowRef (*mainWindow)() = nullptr;
  const char* caption = nullptr;
  void (*beforeShow)() = nullptr;
  // True when the box must come to the front of every window (the transfer
  // instance works unseen behind them for a long time).
  bool (*toFront)() = nullptr;
};
extern UserMessageShell UserMessageHooks;
