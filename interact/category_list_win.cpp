#include "interact/category_list_win.h"

#include "interact/category_list.h"

void FillCategoryListBox(HWND parent, HWND listBox, int itemType) {
  SendMessageA(listBox, LB_RESETCONTENT, 0, 0);
  const int count = PrepareCategoryList(itemType, parent);
  if (count <= 0) return;
  // One repaint for the whole list instead of one per name.
  SendMessageA(listBox, WM_SETREDRAW, FALSE, 0);
  SendMessageA(listBox, LB_INITSTORAGE, static_cast<WPARAM>(count), 0);
  // Inserted at the end, never sorted, whatever the list box's style.
  for (int i = 0; i < count; ++i) {
    SendMessageA(listBox, LB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(CategoryName(itemType, i)));
  }
  SendMessageA(listBox, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(listBox, nullptr, TRUE);
}
