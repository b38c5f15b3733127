// The activity list: the list box of the main window.
#include "diag/activity_list.h"

#include "app/globals.h"
#include "res/resource.h"

void ActivityListAdd(const char* line) {
  HWND list = MainWindow ? GetDlgItem(MainWindow, IDC_MAIN_ACTIVITYLIST) : nullptr;
  if (!list) return;
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line ? line : ""));
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  while (count > ActivityListMax) {
    SendMessageA(list, LB_DELETESTRING, 0, 0);
    --count;
  }
  if (count > 0) SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
}
