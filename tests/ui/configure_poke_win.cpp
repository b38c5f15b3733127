// Opens the Configure dialog of a running Velmorw.exe and selects its first
// item, as a user would, so that scripts/screenshot.sh can take its picture
// with the server's categories listed. Exits 0 once the category list has
// names, 1 when the program or the names did not appear within 60 s.
// With an argument, one more step for the pictures:
//   setdir    "Set Data Directory" in the open Configure dialog
//   closedir  "Cancel" in the data-directory dialog
//   quote     closes the Configure dialog and chooses "Get New Quote"
//             (the transfer pop-up shows while the server is silent)
//   cancel    "Cancel Transfer" in the transfer pop-up
//   closelist "Cancel" in the list of files to donate
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "res/resource.h"

namespace {

HWND WaitForWindow(const char* cls, const char* title) {
  for (int i = 0; i < 600; ++i) {
    if (HWND w = FindWindowA(cls, title)) return w;
    Sleep(100);
  }
  return nullptr;
}

bool WaitGone(HWND w) {
  for (int i = 0; i < 600 && IsWindow(w); ++i) Sleep(100);
  return !IsWindow(w);
}

void Click(HWND dlg, int id) {
  PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

constexpr char DataDirectoryTitle[] = "Set Velmor Data Directory";

int Step(const char* step) {
  if (std::strcmp(step, "setdir") == 0) {
    HWND dlg = WaitForWindow("#32770", "Configure Velmor");
    if (!dlg) return 1;
    Click(dlg, IDC_CONFIG_SETDIR);
    return WaitForWindow("#32770", DataDirectoryTitle) ? 0 : 1;
  }
  if (std::strcmp(step, "closedir") == 0) {
    HWND dlg = WaitForWindow("#32770", DataDirectoryTitle);
    if (!dlg) return 1;
    Click(dlg, IDC_CONFIGDIR_CANCEL);
    return WaitGone(dlg) ? 0 : 1;
  }
  if (std::strcmp(step, "quote") == 0) {
    HWND main = WaitForWindow("VelmorW", nullptr);
    if (!main) return 1;
    if (HWND configure = FindWindowA("#32770", "Configure Velmor")) {
      Click(configure, IDC_CONFIG_CLOSE);
      if (!WaitGone(configure)) return 1;
    }
    PostMessageA(main, WM_COMMAND, IDM_GETQUOTE, 0);
    HWND popup = WaitForWindow("msgwnd", nullptr);
    if (!popup) return 1;
    // Its place on the screen, as an X geometry: the pop-up is not always
    // known to X by its title.
    Sleep(1000);
    RECT r{};
    GetWindowRect(popup, &r);
    std::printf("%ldx%ld+%ld+%ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top);
    return 0;
  }
  if (std::strcmp(step, "closelist") == 0) {
    HWND dlg = WaitForWindow("#32770", "List of files to donate");
    if (!dlg) return 1;
    Click(dlg, IDCANCEL);
    return WaitGone(dlg) ? 0 : 1;
  }
  if (std::strcmp(step, "cancel") == 0) {
    HWND popup = WaitForWindow("msgwnd", nullptr);
    if (!popup) return 1;
    PostMessageA(popup, WM_COMMAND, MAKEWPARAM(IDC_MSGWND_CANCEL, BN_CLICKED), 0);
    return WaitGone(popup) ? 0 : 1;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return Step(argv[1]);
  HWND main = WaitForWindow("VelmorW", nullptr);
  if (!main) return 1;
  PostMessageA(main, WM_COMMAND, IDM_CONFIGURE, 0);
  HWND dlg = WaitForWindow("#32770", "Configure Velmor");
  if (!dlg) return 1;
  HWND items = GetDlgItem(dlg, IDC_CONFIG_ITEMS);
  SendMessageA(items, LB_SETCURSEL, 0, 0);
  PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_CONFIG_ITEMS, LBN_SELCHANGE), reinterpret_cast<LPARAM>(items));
  HWND categories = GetDlgItem(dlg, IDC_CONFIG_CATEGORIES);
  for (int i = 0; i < 600; ++i) {
    if (SendMessageA(categories, LB_GETCOUNT, 0, 0) > 0) {
      std::printf("categories shown\n");
      return 0;
    }
    Sleep(100);
  }
  return 1;
}
