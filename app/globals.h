// The client shell's state and constants.
#pragma once
#include <windows.h>

#include "interact/shell_seams_win.h"
#include "res/resource.h"

// Process-wide state of the shell, set up by start-up and torn down by
// shutdown. The transport's and the settings' state live in their own
// layers (net/, config/).
struct ShellState {
  HINSTANCE AppInstance = nullptr;
  bool TransferInstance = false;   // started as the transfer instance
  bool StartHidden = false;        // /N or /M: start hidden in the tray
  bool Quiet = false;              // /Q: no start and end sounds
  char MainClassName[16] = "VelmorW"; // "VelmorW" or "Transfer"
  HWND OwnerWindow = nullptr;      // hidden owner of the main window
  HWND MainWindow = nullptr;
  HICON IconFrames[IDI_FRAME_COUNT] = {};
  HFONT SmallFont = nullptr;
  HMENU EditPopupMenu = nullptr;    // context menu of the text pane
  HMENU CommentPopupMenu = nullptr; // context menu of the comment editor
  int TrayIconId = IDN_TRAY_NORMAL; // TrayIconNormal or TrayIconTransfer
};
extern ShellState Shell;

// Initialising (interact/shell_seams_win.h) is also raised while start-up
// places the main window (its messages are not the user's). The transfer
// flags (CancelTransfer, Quitting, LookupInProgress) belong to the
// transport: net/transport.h, net/transport_hooks.h.

constexpr int TrayIconNormal = IDN_TRAY_NORMAL;
constexpr int TrayIconTransfer = IDN_TRAY_TRANSFER;
constexpr UINT TrayCallbackMessage = WM_USER + 42; // 1066
constexpr UINT_PTR ScheduleTimerId = IDT_SCHEDULE;
constexpr UINT ScheduleTimerPeriod = 60000;
constexpr const char* TransferClassName = "Transfer";
// A property that the transfer instance puts on its window: the class name
// alone is any program's to use.
constexpr const char* TransferInstanceProperty = "VelmorTransferInstance";
constexpr const char* NormalClassName = "VelmorW";
constexpr const char* MessageWindowClassName = "msgwnd";
