// The main window: its procedure, children, placement and commands.
#pragma once
#include <windows.h>

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// The DPI the main window and its children are laid out for: its
// monitor's, from placement on, and each WM_DPICHANGED's.
int MainWindowDpi();

// SmallFont for windows at that DPI: 8 pixels high at 96 DPI, "Helv".
void CreateSmallFont(int dpi);

// Start-up pieces, in the order start-up calls them.
// The main window, hidden, at its stored (or fixed) placement, sized for
// dpi, the DPI its monitor is expected to have.
HWND CreateMainWindow(HWND owner, int dpi);
void CreateMainChildren(); // title label 11, activity list 6, text pane 5
void SubclassTextPane();   // right-button release opens the editpopup menu
// Resizes the window if its monitor's DPI is not the one expected, lays
// the children out and shows the window.
void ShowMainWindow();

// Writes the outer rectangle as WindowLeft, WindowTop, WindowWidth and
// WindowHeight; nothing in the transfer instance.
void SavePlacement();

// Runs one command of the main window (outside the busy hold; the window
// procedure takes the hold around it). Unknown ids do nothing.
void RunMainCommand(WPARAM command);

// Tracks the first sub-menu of menu at a right-button release point (the
// message's client coordinates, each an unsigned 16-bit value) of control;
// target receives the chosen command.
void TrackControlPopup(HWND control, LPARAM point, HMENU menu, HWND target);
