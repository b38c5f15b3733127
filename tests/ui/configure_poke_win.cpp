// Opens the Configure dialog of a running Velmorw.exe and selects its first
// item, as a user would, so that scripts/screenshot.sh can take its picture
// with the server's categories listed. Exits 0 once the category list has
// names, 1 when the program or the names did not appear within 60 s.
#include <windows.h>

#include <cstdio>

#include "res/resource.h"

namespace {

HWND WaitForWindow(const char* cls, const char* title) {
  for (int i = 0; i < 600; ++i) {
    if (HWND w = FindWindowA(cls, title)) return w;
    Sleep(100);
  }
  return nullptr;
}

}  // namespace

int main() {
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
