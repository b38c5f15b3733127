// Showing a category list in a list box (Windows).
#pragma once
#include <windows.h>

// Empties the list box, then shows the names of the item type, fetching
// them first when they are not cached (the transfer message is owned by
// parent). A failure leaves the box empty and is reported to the user.
void FillCategoryListBox(HWND parent, HWND listBox, int itemType);
