// The wait label's Windows side: what it needs of the shell's windows, which
// the shell registers at start-up, and what the shell asks of it.
#pragma once
#include <windows.h>

#include <cstddef>

#include "content/wait_label.h"

struct WaitLabelShell {
  // Makes the label on the main window's status row, laid out as the window
  // is now.
  HWND (*createLabel)() = nullptr;
  // The label's progress text for done of total bytes.
  void (*formatProgress)(char* out, std::size_t size, int done, int total) = nullptr;
};
void SetWaitLabelShell(const WaitLabelShell& shell);

bool WaitLabelExists();
void RecreateWaitLabel();  // after a resize or a change of DPI
// The main window is going away: the label dies with it.
void ForgetWaitLabel();
