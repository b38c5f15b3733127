// The transfer message pop-up's Windows side: what it needs of the shell,
// which the shell registers at start-up, and what the shell and the tests
// ask of it.
#pragma once
#include <windows.h>

#include "interact/dialog_shell.h"
#include "res/resource.h"

constexpr int CancelTransferButtonId = IDC_MSGWND_CANCEL;
constexpr const char* TransferMessageCaption = "Velmor Transfer Message";
constexpr const char* CancelTransferText = "Cancel Transfer";

struct TransferMessageShell {
  HINSTANCE (*instance)() = nullptr;
  const char* className = nullptr;  // the class the shell registers with TransferMessageProc
  void (*applySmallFont)(HWND) = nullptr;
  // The pop-up's (of that style), its text's and its button's rectangles
  // for a text textWidth pixels wide, on the pop-up's monitor.
  void (*layout)(HWND popup, DWORD style, int textWidth, RECT* whole, RECT* text, RECT* button) = nullptr;
};
void SetTransferMessageShell(const TransferMessageShell& shell);

HWND TransferMessageWindow();  // the open pop-up, or nullptr
LRESULT CALLBACK TransferMessageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
