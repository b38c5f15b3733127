// The system's file-open dialog, reached through comdlg32 loaded on first
// use: the library and what it pulls in cost several megabytes of memory,
// and most runs never open the dialog.
#pragma once
#include <windows.h>
#include <commdlg.h>

// GetOpenFileNameA. FALSE when the user cancelled or the dialog failed;
// FileDialogError tells which (0 for a cancel).
BOOL OpenFileDialog(OPENFILENAMEA* ofn);
// CommDlgExtendedError of the last OpenFileDialog; CDERR_INITIALIZATION
// when comdlg32 could not be loaded at all.
DWORD FileDialogError();
