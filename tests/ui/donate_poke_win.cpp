// Opens the donate dialog of a running Velmorw.exe and clicks its Picture
// type, as a user would, so that scripts/screenshot.sh can take its picture
// with the server's picture categories listed; the first category is then
// selected. A Configure dialog left open is closed first. With the argument
// "list" it instead presses OK in the donate dialog already open, which
// brings up the list of files to donate. Exits 0 once the dialog shows what
// was asked for, 1 when it did not within 60 s.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "res/resource.h"

namespace {

constexpr char DonateTitle[] = "Donate a file to a Velmor server";

HWND WaitForWindow(const char* cls, const char* title) {
  for (int i = 0; i < 600; ++i) {
    if (HWND w = FindWindowA(cls, title)) return w;
    Sleep(100);
  }
  return nullptr;
}

int OpenDonateDialog() {
  HWND main = WaitForWindow("VelmorW", nullptr);
  if (!main) return 1;
  // A Configure dialog left open is closed first, as a user would before
  // going to the menu again.
  if (HWND configure = FindWindowA("#32770", "Configure Velmor")) {
    PostMessageA(configure, WM_COMMAND, MAKEWPARAM(IDC_CONFIG_CLOSE, BN_CLICKED), 0);
    for (int i = 0; i < 600 && IsWindow(configure); ++i) Sleep(100);
    if (IsWindow(configure)) return 1;
  }
  PostMessageA(main, WM_COMMAND, IDM_DONATE, 0);
  HWND dlg = WaitForWindow("#32770", DonateTitle);
  if (!dlg) return 1;
  // Posted, not sent: the click fetches the categories from the server on
  // the dialog's own thread.
  PostMessageA(GetDlgItem(dlg, IDC_DONATE_PICTURE), BM_CLICK, 0, 0);
  HWND categories = GetDlgItem(dlg, IDC_DONATE_CATEGORIES);
  for (int i = 0; i < 600; ++i) {
    if (SendMessageA(categories, LB_GETCOUNT, 0, 0) > 0) {
      SendMessageA(categories, LB_SETCURSEL, 0, 0);
      std::printf("picture categories shown\n");
      return 0;
    }
    Sleep(100);
  }
  return 1;
}

int OpenFileList() {
  HWND dlg = WaitForWindow("#32770", DonateTitle);
  if (!dlg) return 1;
  PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_DONATE_OK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_DONATE_OK)));
  if (!WaitForWindow("#32770", "List of files to donate")) return 1;
  std::printf("file list shown\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "list") == 0) return OpenFileList();
  return OpenDonateDialog();
}
