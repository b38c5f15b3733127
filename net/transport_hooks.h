// What the Windows transport needs of the program around it: the window
// whose quit message ends a wait, the instance's role, and the transfer
// message pop-up. Start-up fills them in (InstallTransportHooks in app/);
// a program without the shell leaves the defaults: no window, the normal
// role, no pop-up.
#pragma once
#include <windows.h>

struct TransportHooks {
  // The main window, or nullptr: a quit message posted to it during a wait
  // starts the quit path, and it is where the quit is put back.
  HWND (*mainWindow)() = nullptr;
  // true in the transfer instance: a quit met during a wait also cancels
  // the transfer.
  bool (*transferRole)() = nullptr;
  // Opens, replaces or closes (text == nullptr) the transfer message pop-up.
  void (*showTransferMessage)(const char* text, void* owner) = nullptr;
};
// The hooks the shell installed (empty in a program without the shell).
extern TransportHooks ShellHooks;

// 1 while a host-name lookup waits; the transfer message pop-up ends the
// lookup (not the transfer) by clearing it after CancelBlockingLookup.
extern volatile int LookupInProgress;

// Set when the sockets library is loaded: cancels the blocking host-name
// lookup in progress (the sockets interface's cancel-blocking-call).
extern void (*CancelBlockingLookup)();
