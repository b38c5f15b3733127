// The screen DPI the shell's windows are drawn for. The program is aware of
// each monitor's DPI (its manifest): where the system can tell a window's
// own DPI it is used, elsewhere the system's DPI (Windows 7 and 8, Wine).
#pragma once
#include <windows.h>

// DPI of the monitor the window is on; without a window (or where the
// system cannot tell), the system's DPI.
int WindowDpi(HWND window);

// GetSystemMetrics for that DPI.
int SystemMetricForDpi(int index, int dpi);

// What a window's caption and borders take of its height at that DPI.
int FrameHeightForDpi(DWORD style, DWORD exStyle, int dpi);
