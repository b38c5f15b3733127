// Process-wide state of the client shell.
#pragma once
#include <windows.h>

#include "res/resource.h"

extern HINSTANCE AppInstance;
extern bool TransferInstance;
extern bool StartHidden;
extern bool Quiet;
extern char MainClassName[16]; // "VelmorW" or "Transfer"
extern HWND OwnerWindow;
extern HWND MainWindow;
extern HICON IconFrames[IDI_FRAME_COUNT];
extern HFONT SmallFont;
extern HMENU EditPopupMenu;    // context menu of the text pane
extern HMENU CommentPopupMenu; // context menu of the comment editor
extern int TrayIconId;         // TrayIconNormal or TrayIconTransfer

// Set while start-up places the main window (its messages are not the
// user's). The transfer flags (CancelTransfer, Quitting, LookupInProgress)
// belong to the transport: net/transport.h, net/transport_hooks.h.
extern volatile int Initialising;

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
