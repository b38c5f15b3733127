// Start-up and shutdown of the normal and the transfer instance.
//
// WinMain is AppMain. The three steps are separate so that tests can start
// the real windows inside their own process, drive them, and shut them down
// again (repeatedly): AppStartup leaves the program with its main window
// shown and its tray icon added, before the schedule timer and the loop.
#pragma once
#include <windows.h>

// Start-up up to the point where the instances part ways: the settings,
// the data-directory check (CONFIGDIR without owner when it is missing), the
// command line, classes, menus, font, sockets, start sound, sound-event
// items, icons, windows, placement, tray icon and status line. The current
// directory must hold (or receive) velmor.cfg with the `Directory` key.
void AppStartup(HINSTANCE instance, const char* commandLine);

// The rest of the instance's life. Transfer instance: the batch donation,
// then 0. Normal instance: hides the window when asked to start hidden,
// starts the schedule timer and runs the message loop; returns the quit
// code (0), or 0 after a loop error.
int AppRun();

// Shutdown, in both instances: end sound, tray icon, classes, menus, font,
// sockets. Afterwards AppStartup may run again.
void AppShutdown();

int AppMain(HINSTANCE instance, const char* commandLine);

// Gives the transport the main window, the instance's role and the transfer
// message pop-up (net/transport_hooks.h), and the status line its windows
// (schedule/status_line_win.h). AppStartup calls it; so does a
// test that drives the transport under windows of its own.
void InstallTransportHooks();
