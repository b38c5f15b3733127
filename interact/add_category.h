// "Add a category to the Velmor server": one request 6 with the item type
// and the name, its answer reported in message boxes owned by the dialog.
#pragma once
#include "interact/dialog_shell.h"

// The name field takes 45 characters (the request's limit); the dialog
// reads at most AddCategoryReadMax of them.
constexpr int AddCategoryNameMax = 45;
constexpr int AddCategoryReadMax = 49;

// itemType 0 when no type is checked; name as read from the field. 1 when
// the server answered (whatever it said), else 0.
int AddCategory(WindowRef dialog, int itemType, const char* name);
