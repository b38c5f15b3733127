// The shell's side of interact/dialog_shell.h, interact/shell_seams_win.h
// (the comment editor's menu is in main_window_win.cpp, beside the text
// pane's) and interact/progress_pane.h.
#include "interact/dialog_shell.h"

#include "app/globals.h"
#include "ui/message_box.h"
#include "app/status.h"
#include "interact/progress_pane.h"
#include "interact/shell_seams_win.h"
#include "res/resource.h"
#include "ui/file_dialog.h"

void ShowTransferMessageFor(const char* text, WindowRef owner) {
  ShowTransferMessage(text, static_cast<HWND>(owner));
}

void UserMessageFor(const char* text, WindowRef owner) { UserMessageOwner(text, static_cast<HWND>(owner)); }

BOOL (*PickFilesDialog)(OPENFILENAMEA* ofn) = OpenFileDialog;
DWORD (*PickFilesDialogError)() = FileDialogError;

int ProgressPaneText(char* out, int size) {
  if (size <= 0) return 0;
  out[0] = '\0';
  if (!MainWindow || !IsWindow(MainWindow)) return 0;
  return GetDlgItemTextA(MainWindow, IDC_MAIN_TEXTPANE, out, size);
}

void ProgressPaneEdit(int dropFront, const char* text) {
  if (!MainWindow || !IsWindow(MainWindow)) return;
  HWND pane = GetDlgItem(MainWindow, IDC_MAIN_TEXTPANE);
  if (!pane) return;
  if (dropFront > 0) {
    SendMessageA(pane, EM_SETSEL, 0, dropFront);
    SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
  }
  const int end = GetWindowTextLengthA(pane);
  SendMessageA(pane, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageA(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
  SendMessageA(pane, EM_SCROLLCARET, 0, 0);
}
