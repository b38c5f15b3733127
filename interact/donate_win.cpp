// The donate dialog, the file-list dialog and the start of the transfer
// instance.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

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

void FileListAppend(void* context, const char* path) {
  // At the end, never sorted.
  SendMessageA(static_cast<FileList*>(context)->box, LB_INSERTSTRING, static_cast<WPARAM>(-1),
               reinterpret_cast<LPARAM>(path));
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
  static char result[ChosenFilesBufferSize];
  result[0] = '\0';
  result[1] = '\0';
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dlg;
  ofn.lpstrFilter = DonateFileFilter(DonateType);
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = result;
  ofn.nMaxFile = ChosenFilesBufferSize;
  ofn.lpstrTitle = "Select files to donate...";
  ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!PickFilesDialog(&ofn)) {
    if (PickFilesDialogError() != 0) UserMessage("Unable to display file dialog.");
    return;
  }
  FileList list{GetDlgItem(dlg, IDC_NEWDONATE_FILES), {}};
  AppendChosenFiles(result, sizeof result, SinkOver(&list));
}

void RemoveSelectedFiles(HWND dlg) {
  HWND box = GetDlgItem(dlg, IDC_NEWDONATE_FILES);
  int selected[DonateSlotsWritten];
  const int count = static_cast<int>(
      SendMessageA(box, LB_GETSELITEMS, DonateSlotsWritten, reinterpret_cast<LPARAM>(selected)));
  if (count <= 0) {
    UserMessage("Nothing selected in list to remove.");
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
    UserMessage("No files were selected to donate.");
  } else {
    StartDonateTransfer();
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
            UserMessage("Select a category type.");
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

void StartDonateTransfer() {
  char program[sizeof DataDirectory + 16];
  std::snprintf(program, sizeof program, "%sVelmorw.exe", DataDirectory);
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteA(
      nullptr, "open", program, TransferMarkerArgument, DataDirectory[0] ? DataDirectory : nullptr, SW_SHOWNORMAL));
  if (result <= 32) {
    char text[64];
    std::snprintf(text, sizeof text, "Unable to run transfer program. Error #%d", static_cast<int>(result));
    UserMessage(text);
  }
}
