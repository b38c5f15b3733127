// CONFIGDIR: "Set Velmor Data Directory".
#include "ui/configdir.h"

#include <cstdio>

#include "base/user_message.h"
#include "ui/message_box.h"
#include "config/config_file.h"
#include "config/settings_table.h"
#include "res/resource.h"
#include "ui/data_directory.h"
#include "ui/file_dialog.h"

namespace {

void Browse(HWND dlg) {
  char dir[300];
  if (!BrowseForDirectory(dlg, BrowseTitle, dir, sizeof dir)) return;
  TrimSpaces(dir);
  SetDlgItemTextA(dlg, IDC_CONFIGDIR_DIRECTORY, dir);
}

// OK: the directory takes effect at once, even when it is then refused, as
// the rest of the program reads DataDirectory afresh on every use.
void Accept(HWND dlg) {
  char text[201];
  GetDlgItemTextA(dlg, IDC_CONFIGDIR_DIRECTORY, text, sizeof text);
  TrimSpaces(text);
  if (!DirectoryInputFits(text)) {
    UserMessage(DirectoryTooLongText, dlg);
    return;
  }
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s", text);
  AddBackslash(DataDirectory, sizeof DataDirectory);
  if (!DirectoryExists(DataDirectory)) {
    char message[200];
    std::snprintf(message, sizeof message, DirectoryMissingFormat, DataDirectory);
    UserMessage(message, dlg);
    return;
  }
  WriteSetting(Setting::Directory, text);
  EndDialog(dlg, 1);
}

// Cancel puts back the directory that was in effect when the dialog
// opened: a refused directory has already replaced it (OK takes effect
// before the check), and the program must not go on writing its settings
// and logs into a directory that does not exist.
void Cancel(HWND dlg) {
  const char* before = reinterpret_cast<const char*>(GetWindowLongPtrA(dlg, DWLP_USER));
  if (before) std::snprintf(DataDirectory, sizeof DataDirectory, "%s", before);
  EndDialog(dlg, 0);
}

INT_PTR CALLBACK ConfigDirProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dlg, DWLP_USER, lp);
      char dir[200];
      ReadSetting(Setting::Directory, dir, sizeof dir);
      SetDlgItemTextA(dlg, IDC_CONFIGDIR_DIRECTORY, dir);
      return TRUE;
    }
    case WM_COMMAND:
      // Escape and the system menu's Close arrive as IDCANCEL and do
      // nothing: the dialog ends only through OK or Cancel.
      switch (LOWORD(wp)) {
        case IDC_CONFIGDIR_BROWSE: Browse(dlg); return TRUE;
        case IDC_CONFIGDIR_CANCEL: Cancel(dlg); return TRUE;
        case IDC_CONFIGDIR_OK: Accept(dlg); return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

int RunConfigDirDialog(HWND owner) {
  char before[sizeof DataDirectory];
  std::snprintf(before, sizeof before, "%s", DataDirectory);
  const INT_PTR result =
      DialogBoxParamA(GetModuleHandleA(nullptr), IDD_CONFIGDIR, owner, ConfigDirProc, reinterpret_cast<LPARAM>(before));
  return result == 1 ? 1 : 0;
}

int DirectoryExists(const char* path) {
  if (!path || !*path) return 0;
  // Not an existence-only OpenFile: that call searches the Windows
  // directories and the PATH for a relative name, and takes a file for a
  // directory.
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

int BrowseForDirectory(HWND owner, const char* title, char* out, std::size_t outSize) {
  if (out && outSize) out[0] = '\0';
  char file[300] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrTitle = title;
  ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOLONGNAMES;
  if (!OpenFileDialog(&ofn)) {
    if (FileDialogError() != 0) UserMessage(FileDialogFailedText, owner);
    return 0;
  }
  return DirectoryOfPath(file, out, outSize);
}
