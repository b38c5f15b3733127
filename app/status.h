// Status and progress windows: the busy hold with its tray animation, the
// wait label with byte progress, and the transfer message pop-up with its
// Cancel Transfer button.
#pragma once
#include <windows.h>

#include "content/wait_label_win.h"
#include "interact/dialog_shell_win.h"
#include "res/resource.h"

constexpr int AnimationTimerId = IDT_ANIMATION;
constexpr UINT AnimationPeriod = 200;

// The busy hold is set exactly while the "*Timer Held*" label exists. Only
// the main window procedure takes it, around every command and tick.
int BusyHoldQuery();
int BusyHoldBegin(); // returns 1; nothing changes when already held
int BusyHoldEnd();   // returns 0; one end releases any number of begins

// The wait label with its progress: content/wait_label_win.h.
// Puts the hold and status-line labels on the bottom row of the main window
// as it is now, and makes the wait label anew there: after every layout, so
// that a label made while the window was in the tray (with no client area)
// is not left off-screen.
void PlaceStatusLabels();

// The transfer message pop-up: interact/dialog_shell_win.h (its window
// procedure is that of the class `msgwnd`).


// Tray icon: adds it to the notification area, showing the icon shown last
// (IconFrames[0] at first) with the instance's tip. When the notification
// area refuses (not running yet at log-on, or busy), the add is tried again
// every second until it succeeds or the icon is deleted. Returns whether
// the icon is there now.
bool AddTrayIcon();
void DeleteTrayIcon();
// Registers the message "TaskbarCreated", which the notification area
// broadcasts when it starts again (Explorer restarted): its icons are gone
// then, and the main window adds its own again.
void ListenForTaskbar();
UINT TaskbarCreatedMessage(); // 0 before ListenForTaskbar

// Tray icon: shows IconFrames[frame] on the tray icon of MainWindow.
void ShowTrayFrame(int frame);
// Index of the next frame the animation shows (0..6; never reset).
int TrayAnimationPosition();
// The icon last given to the tray icon by the animation or the hold's end.
HICON TrayIconShown();
// Start-up added the tray icon showing this icon, or shutdown removed it
// (nullptr): ShowTrayFrame only tells the notification area of changes.
void RememberTrayIcon(HICON shown);

// Gives the wait label and the status line their windows on the status row,
// and the transfer message pop-up its class, font and layout
// (content/wait_label_win.h, schedule/status_line_win.h,
// interact/dialog_shell_win.h).
void InstallStatusSeams();

// The main window is going away: forget the labels that die with it.
void StatusForgetMainChildren();
