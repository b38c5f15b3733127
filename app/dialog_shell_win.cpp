// The shell's side of interact/dialog_shell.h and interact/shell_seams_win.h
// (the comment editor's menu is in main_window_win.cpp, beside the text
// pane's; the progress pane is in display_batch_win.cpp).
#include "interact/dialog_shell.h"

#include "app/globals.h"
#include "ui/message_box.h"
#include "app/status.h"
#include "interact/shell_seams_win.h"
#include "res/resource.h"
#include "ui/file_dialog.h"

void ShowTransferMessageFor(const char* text, WindowRef owner) {
  ShowTransferMessage(text, static_cast<HWND>(owner));
}

BOOL (*PickFilesDialog)(OPENFILENAMEA* ofn) = OpenFileDialog;
DWORD (*PickFilesDialogError)() = FileDialogError;
