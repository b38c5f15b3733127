// What the status-line label needs of the shell's windows (Windows only).
// The shell registers it at start-up; until then no label is made.
#pragma once
#include <windows.h>

#include "schedule/status_line.h"

struct StatusLineShell {
  HWND (*mainWindow)() = nullptr;  // the label's parent, or none
  // Makes a label showing text on the main window's status row, laid out as
  // the window is now.
  HWND (*createLabel)(const char* text) = nullptr;
};
void SetStatusLineShell(const StatusLineShell& shell);

// Moves the label, if there is one, to r in the main window's client area.
void PlaceStatusLineLabel(const RECT& r);
