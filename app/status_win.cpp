// The busy hold and the tray icon; the shell's side of the wait label, the
// status line and the transfer message pop-up.
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
int animationPosition = 0;
HICON shownIcon = nullptr;

int MainClientHeight() {
  RECT r{};
  GetClientRect(Shell.MainWindow, &r);
  return r.bottom - r.top;
}

RECT AsRect(const ShellRect& r) { return RECT{r.x, r.y, r.x + r.width, r.y + r.height}; }

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

  TransferMessageShell popup;
  popup.instance = [] { return Shell.AppInstance; };
  popup.className = MessageWindowClassName;
  popup.applySmallFont = [](HWND window) { ApplySmallFont(window); };
  popup.layout = [](HWND window, DWORD style, int textWidth, RECT* whole, RECT* text, RECT* button) {
    RECT desktop{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    const int dpi = WindowDpi(window);
    *whole = AsRect(TransferMessageRect(textWidth, desktop.right - desktop.left, desktop.bottom - desktop.top,
                                        dpi, FrameHeightForDpi(style, 0, dpi)));
    *text = AsRect(TransferMessageTextRect(textWidth, dpi));
    *button = AsRect(TransferMessageButtonRect(textWidth, dpi));
  };
  SetTransferMessageShell(popup);
}

void PlaceStatusLabels() {
  const int h = MainClientHeight();
  if (HoldLabel && IsWindow(HoldLabel)) {
    const ShellRect r = HoldLabelRect(h);
    SetWindowPos(HoldLabel, nullptr, r.x, r.y, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RecreateWaitLabel();
  PlaceStatusLineLabel(AsRect(TrailerLabelRect(h)));
}

void StatusForgetMainChildren() {
  HoldLabel = nullptr;
  ForgetWaitLabel();
}
