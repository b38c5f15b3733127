// Seam: what the dialogs of the server interactions need of the shell's
// windows (Windows only). The shell implements it (app/shell_seams_win.cpp).
#pragma once
#include <windows.h>
#include <commdlg.h>

// Raised while a dialog fills its own controls, so that its change handlers
// store and fetch nothing, and while start-up places the main window
// (defined with the shell's state, app/globals.cpp).
extern volatile int Initialising;

// The system's open-file dialog and its extended error (0 after a cancel).
// Tests put their own answer in place; everything around it stays real.
extern BOOL (*PickFilesDialog)(OPENFILENAMEA* ofn);
extern DWORD (*PickFilesDialogError)();

// Gives the comment editor the small font and the comment pop-up menu on a
// right-button release; the menu's commands go to the editor's parent.
void PrepareCommentEditor(HWND editor);
