// The busy hold, the tray icon and the transfer message pop-up; the shell's
// side of the wait label and the status line.
#include "app/status.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "app/dpi_win.h"
#include "app/globals.h"
#include "app/main_window.h"
#include "ui/message_box.h"
#include "app/shell_layout.h"
#include "app/shell_text.h"
#include "net/transport.h"
#include "net/transport_hooks.h"
#include "res/resource.h"
#include "schedule/status_line_win.h"


namespace {

HWND HoldLabel = nullptr;
HWND TransferMessage = nullptr;
int animationPosition = 0;
HICON shownIcon = nullptr;

int MainClientHeight() {
  RECT r{};
  GetClientRect(Shell.MainWindow, &r);
  return r.bottom - r.top;
}

// A simple static child of the main window, without control id.
HWND CreateStatusLabel(const char* text, const ShellRect& r) {
  HWND label = CreateWindowA("STATIC", text, WS_CHILD | WS_VISIBLE | SS_SIMPLE, r.x, r.y, r.width,
                             r.height, Shell.MainWindow, nullptr, Shell.AppInstance, nullptr);
  return ApplySmallFont(label);
}

// Called straight by the timer, not through the main window procedure, so
// that it is never taken for a schedule tick.
void CALLBACK AnimationStep(HWND, UINT, UINT_PTR, DWORD) {
  ShowTrayFrame(animationPosition);
  animationPosition = (animationPosition + 1) % IDI_FRAME_COUNT;
}

}  // namespace

namespace {

constexpr UINT_PTR TrayRetryTimerId = IDN_TRAY_NORMAL + 100;
constexpr UINT TrayRetryPeriod = 1000;
UINT taskbarCreated = 0;

NOTIFYICONDATAA TrayData(UINT flags) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = Shell.MainWindow;
  nid.uID = static_cast<UINT>(Shell.TrayIconId);
  nid.uFlags = flags;
  nid.uCallbackMessage = TrayCallbackMessage;
  return nid;
}

void CALLBACK RetryTrayIcon(HWND, UINT, UINT_PTR, DWORD) { AddTrayIcon(); }

}  // namespace

bool AddTrayIcon() {
  NOTIFYICONDATAA nid = TrayData(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  nid.hIcon = shownIcon ? shownIcon : Shell.IconFrames[0];
  std::snprintf(nid.szTip, sizeof nid.szTip, "%s", Shell.TransferInstance ? TrayTipTransfer : TrayTipNormal);
  bool there = Shell_NotifyIconA(NIM_ADD, &nid) != FALSE;
  // An add refused because the icon is still there (a broadcast while the
  // notification area kept it) leaves it as it is.
  if (!there) {
    NOTIFYICONDATAA probe = TrayData(0);
    there = Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
  }
  if (there) {
    KillTimer(Shell.MainWindow, TrayRetryTimerId);
    shownIcon = nid.hIcon;
  } else {
    SetTimer(Shell.MainWindow, TrayRetryTimerId, TrayRetryPeriod, RetryTrayIcon);
  }
  return there;
}

void DeleteTrayIcon() {
  KillTimer(Shell.MainWindow, TrayRetryTimerId);
  NOTIFYICONDATAA nid = TrayData(0);
  Shell_NotifyIconA(NIM_DELETE, &nid);
  shownIcon = nullptr;
}

void ListenForTaskbar() {
  if (!taskbarCreated) taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
}

UINT TaskbarCreatedMessage() { return taskbarCreated; }

void ShowTrayFrame(int frame) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = Shell.MainWindow;
  nid.uID = static_cast<UINT>(Shell.TrayIconId);
  nid.uFlags = NIF_MESSAGE | NIF_ICON;
  nid.uCallbackMessage = TrayCallbackMessage;
  nid.hIcon = Shell.IconFrames[frame];
  // The icon already shown changes nothing, but telling the notification
  // area costs a round trip to another process (every end of the hold shows
  // frame 0, and the transfer instance's frames are all one icon).
  if (nid.hIcon == shownIcon) return;
  shownIcon = nid.hIcon;
  Shell_NotifyIconA(NIM_MODIFY, &nid);
}

int TrayAnimationPosition() { return animationPosition; }
HICON TrayIconShown() { return shownIcon; }

void RememberTrayIcon(HICON shown) { shownIcon = shown; }

int BusyHoldQuery() { return HoldLabel ? 1 : 0; }

int BusyHoldBegin() {
  if (HoldLabel) return 1;
  HoldLabel = CreateStatusLabel(HoldLabelText, HoldLabelRect(MainClientHeight(), MainWindowDpi()));
  SetTimer(Shell.MainWindow, AnimationTimerId, AnimationPeriod, AnimationStep);
  return 1;
}

int BusyHoldEnd() {
  if (HoldLabel) DestroyWindow(HoldLabel);
  HoldLabel = nullptr;
  KillTimer(Shell.MainWindow, AnimationTimerId);
  ShowTrayFrame(0);
  return 0;
}

void InstallStatusSeams() {
  WaitLabelShell wait;
  wait.createLabel = [] {
    return CreateStatusLabel(WaitLabelText, WaitLabelRect(MainClientHeight(), MainWindowDpi()));
  };
  wait.formatProgress = FormatProgress;
  SetWaitLabelShell(wait);

  StatusLineShell statusLine;
  statusLine.mainWindow = [] { return Shell.MainWindow; };
  statusLine.createLabel = [](const char* text) {
    return CreateStatusLabel(text, TrailerLabelRect(MainClientHeight(), MainWindowDpi()));
  };
  SetStatusLineShell(statusLine);
}

void PlaceStatusLabels() {
  const int h = MainClientHeight();
  if (HoldLabel && IsWindow(HoldLabel)) {
    const ShellRect r = HoldLabelRect(h);
    SetWindowPos(HoldLabel, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RecreateWaitLabel();
  const ShellRect t = TrailerLabelRect(h);
  PlaceStatusLineLabel(RECT{t.x, t.y, t.x + t.width, t.y + t.height});
}

void StatusForgetMainChildren() {
  HoldLabel = nullptr;
  ForgetWaitLabel();
}

HWND TransferMessageWindow() { return TransferMessage; }

void ShowTransferMessage(const char* text, WindowRef ownerRef) {
  HWND owner = static_cast<HWND>(ownerRef);
  if (owner) {
    EnableWindow(owner, TRUE);
    SetFocus(owner);
  }
  if (TransferMessage) {
    HWND old = TransferMessage;
    TransferMessage = nullptr;
    DestroyWindow(old);
  }
  if (!text) return;

  constexpr DWORD popupStyle = WS_POPUP | WS_VISIBLE | WS_CAPTION;
  HWND popup = CreateWindowA(MessageWindowClassName, TransferMessageCaption, popupStyle, 0, 0, 10, 10,
                             nullptr, nullptr, Shell.AppInstance, nullptr);
  TransferMessage = popup;
  HWND label = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE | SS_SIMPLE, 0, 0, 0, 0, popup,
                             nullptr, Shell.AppInstance, nullptr);
  SetWindowTextA(label, text);
  ApplySmallFont(label);

  // Measured in a fresh context of the label, which carries the default
  // font, not SmallFont: the pop-up comes out a little wider than the text.
  SIZE extent{};
  if (HDC dc = GetDC(label)) {
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
    ReleaseDC(label, dc);
  }
  const int cx = extent.cx;

  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  // Lengths for the DPI of the pop-up's monitor, its height from the
  // system's caption and borders there.
  const int dpi = WindowDpi(popup);
  const ShellRect r = TransferMessageRect(cx, desktop.right - desktop.left, desktop.bottom - desktop.top, dpi,
                                          FrameHeightForDpi(popupStyle, 0, dpi));
  SetWindowPos(popup, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(popup, SW_SHOW);

  const ShellRect t = TransferMessageTextRect(cx, dpi);
  SetWindowPos(label, nullptr, t.x, t.y, t.width, t.height, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(label, SW_SHOW);

  const ShellRect b = TransferMessageButtonRect(cx, dpi);
  HWND button = CreateWindowA("BUTTON", CancelTransferText, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                              b.x, b.y, b.width, b.height, popup,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(CancelTransferButtonId)),
                              Shell.AppInstance, nullptr);
  ApplySmallFont(button);
  ApplySmallFont(popup);

  SetFocus(popup);
  if (owner) EnableWindow(owner, FALSE);
}

LRESULT CALLBACK TransferMessageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_QUIT:
      CancelTransfer = 1;
      break;
    case WM_COMMAND:
      if (LookupInProgress == 1) {
        // The lookup blocks inside the sockets library; cancelling it makes
        // the lookup fail, and the transport reports that. The transfer
        // itself is not cancelled.
        if (CancelBlockingLookup) CancelBlockingLookup();
        LookupInProgress = 0;
      } else if (LOWORD(wp) == CancelTransferButtonId) {
        CancelTransfer = 1;
      }
      break;
    case WM_NCDESTROY:
      if (hwnd == TransferMessage) TransferMessage = nullptr;
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}
