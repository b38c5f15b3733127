// The donate dialog, the file-list dialog and the start of the transfer
// instance.
#include <windows.h>
#include <shellapi.h>

#include <cderr.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "config/config_file.h"
#include "base/user_message.h"
#include "interact/category_list.h"
#include "interact/category_list_win.h"
#include "interact/dialogs_win.h"
#include "interact/donate_list.h"
#include "interact/donate_transfer.h"
#include "interact/shell_seams_win.h"
#include "res/resource.h"

namespace {

// The item type the file-list dialog works on, set by the donate dialog's OK.
int DonateType = ItemQuote;

int CheckedItemType(HWND dlg) {
  if (IsDlgButtonChecked(dlg, IDC_DONATE_QUOTE) == BST_CHECKED) return ItemQuote;
  if (IsDlgButtonChecked(dlg, IDC_DONATE_SOUND) == BST_CHECKED) return ItemSound;
  if (IsDlgButtonChecked(dlg, IDC_DONATE_PICTURE) == BST_CHECKED) return ItemPicture;
  return 0;
}

// List box 1008 as the portable code's sink.
struct FileList {
  HWND box;
  char text[DonatePathMax + 1];
};

int FileListCount(void* context) {
  return static_cast<int>(SendMessageA(static_cast<FileList*>(context)->box, LB_GETCOUNT, 0, 0));
}

// Widens the list's scrollable width to the text, so that its horizontal
// scroll bar shows the end of a long path (the file's name).
void WidenFor(HWND box, const char* text) {
  HDC dc = GetDC(box);
  if (!dc) return;
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(box, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  const LRESULT width = size.cx + 2 * GetSystemMetrics(SM_CXEDGE) + 4;
  if (width > SendMessageA(box, LB_GETHORIZONTALEXTENT, 0, 0))
    SendMessageA(box, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
}

void FileListAppend(void* context, const char* path) {
  HWND box = static_cast<FileList*>(context)->box;
  // At the end, never sorted.
  SendMessageA(box, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(path));
  WidenFor(box, path);
}

const char* FileListEntry(void* context, int index) {
  FileList* list = static_cast<FileList*>(context);
  list->text[0] = '\0';
  if (SendMessageA(list->box, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0) <= DonatePathMax)
    SendMessageA(list->box, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(list->text));
  return list->text;
}

DonateListSink SinkOver(FileList* list) { return DonateListSink{list, FileListCount, FileListAppend}; }

void AddChosenFiles(HWND dlg) {
  // A fresh, zeroed buffer at every opening: nothing of an earlier choice
  // can be read as part of this one. A choice larger than the buffer makes
  // the dialog report the size it needs; the buffer grows and the dialog
  // is shown again.
  std::vector<char> result(ChosenFilesBufferSize, '\0');
  OPENFILENAMEA ofn{};
  for (int attempt = 0;; ++attempt) {
    ofn = OPENFILENAMEA{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dlg;
    ofn.lpstrFilter = DonateFileFilter(DonateType);
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = result.data();
    ofn.nMaxFile = static_cast<DWORD>(result.size());
    ofn.lpstrTitle = "Select files to donate...";
    ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (PickFilesDialog(&ofn)) break;
    const DWORD error = PickFilesDialogError();
    if (error == 0) return;
    if (error == FNERR_BUFFERTOOSMALL && attempt < 4 && result.size() < ChosenFilesBufferLimit) {
      const std::size_t needed = static_cast<unsigned char>(result[0]) | (static_cast<unsigned char>(result[1]) << 8);
      std::size_t size = result.size() * 2;
      if (needed + 2 > size) size = needed + 2;
      if (size > ChosenFilesBufferLimit) size = ChosenFilesBufferLimit;
      result.assign(size, '\0');
      continue;
    }
    UserMessage("Unable to display file dialog.", dlg);
    return;
  }
  FileList list{GetDlgItem(dlg, IDC_NEWDONATE_FILES), {}};
  AppendChosenFiles(result.data(), result.size(), ofn.nFileOffset, SinkOver(&list));
}

void RemoveSelectedFiles(HWND dlg) {
  HWND box = GetDlgItem(dlg, IDC_NEWDONATE_FILES);
  int selected[DonateSlotsWritten];
  const int count = static_cast<int>(
      SendMessageA(box, LB_GETSELITEMS, DonateSlotsWritten, reinterpret_cast<LPARAM>(selected)));
  if (count <= 0) {
    UserMessage("Nothing selected in list to remove.", dlg);
    return;
  }
  // From the highest position down, so that the others stay where they are.
  for (int i = count - 1; i >= 0; --i) SendMessageA(box, LB_DELETESTRING, static_cast<WPARAM>(selected[i]), 0);
}

void BeginTransfer(HWND dlg) {
  FileList list{GetDlgItem(dlg, IDC_NEWDONATE_FILES), {}};
  const int count = FileListCount(&list);
  SaveDonateList(DonateType, count, FileListEntry, &list);
  if (count == 0) {
    UserMessage("No files were selected to donate.", dlg);
  } else {
    StartDonateTransfer(dlg);
  }
  EndDialog(dlg, 1);
}

INT_PTR CALLBACK FileListProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG: {
      FileList list{GetDlgItem(dlg, IDC_NEWDONATE_FILES), {}};
      LoadDonateList(DonateType, SinkOver(&list));
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_NEWDONATE_ADD: AddChosenFiles(dlg); return TRUE;
        case IDC_NEWDONATE_REMOVE: RemoveSelectedFiles(dlg); return TRUE;
        case IDC_NEWDONATE_BEGIN: BeginTransfer(dlg); return TRUE;
        case IDC_NEWDONATE_CANCEL: EndDialog(dlg, 0); return TRUE;
      }
      break;
  }
  return FALSE;
}

void FillChosenType(HWND dlg, int type) {
  if (!Initialising) FillCategoryListBox(dlg, GetDlgItem(dlg, IDC_DONATE_CATEGORIES), type);
}

void ConfirmDonate(HWND dlg) {
  const int type = CheckedItemType(dlg);
  if (type == 0) {
    UserMessage("You must select an item type.", dlg);
    return;
  }
  const LRESULT position = SendDlgItemMessageA(dlg, IDC_DONATE_CATEGORIES, LB_GETCURSEL, 0, 0);
  if (position < 0) {
    UserMessage("You must select a category to donate to.", dlg);
    return;
  }
  StoreDonateCategory(type, static_cast<int>(position));
  DonateType = type;
  DialogBoxParamA(GetModuleHandleA(nullptr), IDD_NEWDONATE, dlg, FileListProc, 0);
  EndDialog(dlg, 1);
}

INT_PTR CALLBACK DonateDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      Initialising = 1;
      CheckRadioButton(dlg, IDC_DONATE_QUOTE, IDC_DONATE_PICTURE, IDC_DONATE_QUOTE);
      Initialising = 0;
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_DONATE_QUOTE: FillChosenType(dlg, ItemQuote); return TRUE;
        case IDC_DONATE_SOUND: FillChosenType(dlg, ItemSound); return TRUE;
        case IDC_DONATE_PICTURE: FillChosenType(dlg, ItemPicture); return TRUE;
        case IDC_DONATE_REFRESH: {
          const int type = CheckedItemType(dlg);
          if (type == 0) {
            UserMessage("Select a category type.", dlg);
          } else {
            DiscardCategoryList(type);
            FillChosenType(dlg, type);
          }
          return TRUE;
        }
        case IDC_DONATE_OK: ConfirmDonate(dlg); return TRUE;
        case IDC_DONATE_CANCEL: EndDialog(dlg, 0); return TRUE;
        // Escape and the dialog system's own OK and Cancel end nothing.
        case IDOK:
        case IDCANCEL: return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void RunDonateDialog(HWND owner) {
  DialogBoxParamA(GetModuleHandleA(nullptr), IDD_DONATEDIALOG, owner, DonateDialogProc, 0);
  Initialising = 0;
}

void StartDonateTransfer(HWND owner) {
  char program[sizeof DataDirectory + 16];
  DataDirectoryPath(program, sizeof program, "Velmorw.exe");
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteA(
      nullptr, "open", program, TransferMarkerArgument, DataDirectory[0] ? DataDirectory : nullptr, SW_SHOWNORMAL));
  if (result <= 32) {
    char text[64];
    std::snprintf(text, sizeof text, "Unable to run transfer program. Error #%d", static_cast<int>(result));
    UserMessage(text, owner);
  }
}
