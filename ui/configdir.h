// The data-directory dialog (template CONFIGDIR) and its two helpers.
#pragma once
#include <windows.h>

#include <cstddef>

// Runs CONFIGDIR modally; owner may be null (start-up). Returns 1 when a
// directory was accepted and stored under `Directory`, 0 on Cancel, which
// puts back the DataDirectory in effect when the dialog opened.
int RunConfigDirDialog(HWND owner);

// 1 when path names an existing directory (a trailing backslash is fine).
// An empty path, a missing path and a plain file give 0. A relative path
// counts from the current directory, where the program would look for it.
int DirectoryExists(const char* path);

// Lets the user pick any file with the system's file-open dialog and gives
// its directory (without a trailing backslash) in out. Returns 1 then, and 0
// when the user cancels (silently) or the dialog cannot be shown ("Unable
// to display file dialog." in a box owned by owner).
int BrowseForDirectory(HWND owner, const char* title, char* out, std::size_t outSize);
