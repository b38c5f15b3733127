#include "ui/file_dialog.h"

#include <cderr.h>

namespace {

using OpenFn = BOOL(WINAPI*)(OPENFILENAMEA*);
using ErrorFn = DWORD(WINAPI*)();

OpenFn openFn = nullptr;
ErrorFn errorFn = nullptr;
bool loadFailed = false;

bool Load() {
  if (openFn && errorFn) return true;
  // Kept loaded for the rest of the run once it is in.
  HMODULE lib = LoadLibraryA("comdlg32.dll");
  if (lib) {
    openFn = reinterpret_cast<OpenFn>(reinterpret_cast<void*>(GetProcAddress(lib, "GetOpenFileNameA")));
    errorFn = reinterpret_cast<ErrorFn>(reinterpret_cast<void*>(GetProcAddress(lib, "CommDlgExtendedError")));
  }
  loadFailed = !(openFn && errorFn);
  return !loadFailed;
}

}  // namespace

BOOL OpenFileDialog(OPENFILENAMEA* ofn) { return Load() ? openFn(ofn) : FALSE; }

DWORD FileDialogError() {
  if (loadFailed) return CDERR_INITIALIZATION;
  return errorFn ? errorFn() : 0;
}
