// The shell's side of interact/shell_seams_win.h: the open-file dialog (the
// comment editor's menu is in main_window_win.cpp, beside the text pane's;
// the progress pane is in display_batch_win.cpp).
#include "interact/shell_seams_win.h"

#include "res/resource.h"
#include "ui/file_dialog.h"

BOOL (*PickFilesDialog)(OPENFILENAMEA* ofn) = OpenFileDialog;
DWORD (*PickFilesDialogError)() = FileDialogError;
