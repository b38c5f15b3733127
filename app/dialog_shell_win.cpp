// The shell's side of interact/dialog_shell.h, interact/shell_seams_win.h
// and interact/progress_pane.h.
#include "interact/dialog_shell.h"

#include "app/globals.h"
#include "app/main_window.h"
#include "app/message_box.h"
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

namespace {

WNDPROC commentEditorBaseProc = nullptr;

LRESULT CALLBACK CommentEditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_RBUTTONUP) {
    TrackControlPopup(hwnd, lp, CommentPopupMenu, GetParent(hwnd));
    return 1;
  }
  return CallWindowProcA(commentEditorBaseProc, hwnd, msg, wp, lp);
}

}  // namespace

void PrepareCommentEditor(HWND editor) {
  if (!editor) return;
  ApplySmallFont(editor);
  commentEditorBaseProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(editor, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CommentEditorProc)));
}

int ProgressPaneText(char* out, int size) {
  if (size <= 0) return 0;
  out[0] = '\0';
  if (!MainWindow || !IsWindow(MainWindow)) return 0;
  return GetDlgItemTextA(MainWindow, IDC_MAIN_TEXTPANE, out, size);
}

void ProgressPaneShow(const char* text) {
  if (!MainWindow || !IsWindow(MainWindow)) return;
  HWND pane = GetDlgItem(MainWindow, IDC_MAIN_TEXTPANE);
  if (!pane) return;
  SetWindowTextA(pane, text);
  const int end = GetWindowTextLengthA(pane);
  SendMessageA(pane, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
  SendMessageA(pane, EM_SCROLLCARET, 0, 0);
}
