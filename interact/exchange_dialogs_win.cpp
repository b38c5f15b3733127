// The add-category and comment dialogs.
#include <windows.h>

#include "interact/add_category.h"
#include "interact/comment.h"
#include "interact/dialogs_win.h"
#include "interact/shell_seams_win.h"
#include "res/resource.h"

namespace {

int CheckedItemType(HWND dlg) {
  if (IsDlgButtonChecked(dlg, IDC_ADDCAT_QUOTE) == BST_CHECKED) return 1;
  if (IsDlgButtonChecked(dlg, IDC_ADDCAT_SOUND) == BST_CHECKED) return 3;
  if (IsDlgButtonChecked(dlg, IDC_ADDCAT_PICTURE) == BST_CHECKED) return 2;
  return 0;
}

INT_PTR CALLBACK AddCategoryProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      SendDlgItemMessageA(dlg, IDC_ADDCAT_NAME, EM_LIMITTEXT, AddCategoryNameMax, 0);
      CheckRadioButton(dlg, IDC_ADDCAT_QUOTE, IDC_ADDCAT_PICTURE, IDC_ADDCAT_QUOTE);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_ADDCAT_OK: {
          char name[AddCategoryReadMax + 1];
          GetDlgItemTextA(dlg, IDC_ADDCAT_NAME, name, sizeof name);
          if (AddCategory(dlg, CheckedItemType(dlg), name) == 1) EndDialog(dlg, 1);
          return TRUE;
        }
        case IDC_ADDCAT_CANCEL: EndDialog(dlg, 0); return TRUE;
        case IDOK:
        case IDCANCEL: return TRUE;
      }
      break;
  }
  return FALSE;
}

INT_PTR CALLBACK SendCommentProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  HWND editor = GetDlgItem(dlg, IDC_COMMENT_TEXT);
  switch (msg) {
    case WM_INITDIALOG:
      PrepareCommentEditor(editor);
      SendMessageA(editor, EM_LIMITTEXT, CommentFieldMax, 0);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_COMMENT_OK: {
          static char text[CommentReadMax + 1];
          GetWindowTextA(editor, text, sizeof text);
          if (SendComment(dlg, text) == 1) EndDialog(dlg, 1);
          return TRUE;
        }
        case IDC_COMMENT_CANCEL: EndDialog(dlg, 0); return TRUE;
        case IDM_COPY: SendMessageA(editor, WM_COPY, 0, 0); return TRUE;
        case IDM_CUT: SendMessageA(editor, WM_CUT, 0, 0); return TRUE;
        case IDM_PASTE: SendMessageA(editor, WM_PASTE, 0, 0); return TRUE;
        case IDOK:
        case IDCANCEL: return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void RunAddCategoryDialog(HWND owner) {
  DialogBoxParamA(GetModuleHandleA(nullptr), IDD_ADDCATDIALOG, owner, AddCategoryProc, 0);
}

void RunSendCommentDialog(HWND owner) {
  DialogBoxParamA(GetModuleHandleA(nullptr), IDD_SENDCOMMENTDIALOG, owner, SendCommentProc, 0);
}
