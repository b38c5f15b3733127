// The wait label of the status row, up while a block transfer runs.
#include "content/wait_label_win.h"

namespace {

WaitLabelShell Host;
HWND WaitLabel = nullptr;

}  // namespace

void SetWaitLabelShell(const WaitLabelShell& shell) { Host = shell; }

void ShowWaitLabel() {
  // A second show replaces the label instead of leaving one behind.
  if (WaitLabel) DestroyWindow(WaitLabel);
  WaitLabel = Host.createLabel ? Host.createLabel() : nullptr;
}

void HideWaitLabel() {
  if (WaitLabel) DestroyWindow(WaitLabel);
  WaitLabel = nullptr;
}

bool WaitLabelExists() { return WaitLabel != nullptr; }

void RecreateWaitLabel() {
  if (WaitLabel) ShowWaitLabel();
}

void ShowProgress(int done, int total) {
  if (!WaitLabel) return;
  char text[64];
  Host.formatProgress(text, sizeof text, done, total);
  SetWindowTextA(WaitLabel, text);
}

void ForgetWaitLabel() { WaitLabel = nullptr; }
