// Dispatching window messages while the transport waits.
//
// The transport calls PumpMessages between its waits and after every piece
// of a block. Each call dispatches what is waiting, up to a bound, and
// returns; while data streams in, calls that come less than PumpSpacing
// after the previous one return at once, because one look at the queue
// costs far more under some systems than receiving a piece does. Waits on a quiet socket block in the
// socket poll itself (a few milliseconds), so a posted message is handled
// within about PumpSpacing plus one poll slice.
#include "net/message_pump_win.h"

#include <windows.h>

#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

constexpr double PumpSpacingSeconds = 0.004;

LARGE_INTEGER lastPump = {};

HWND MainWindowOfShell() { return ShellHooks.mainWindow ? ShellHooks.mainWindow() : nullptr; }
double ticksPerSecond = 0;

double SecondsSinceLastPump() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  if (ticksPerSecond == 0) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticksPerSecond = static_cast<double>(frequency.QuadPart);
  }
  return static_cast<double>(now.QuadPart - lastPump.QuadPart) / ticksPerSecond;
}

// The program is being closed while a transfer waits: every further send and
// receive fails at once, the user sees "Quitting", and the quit message is
// put back so that the main loop still ends once the transfer has unwound.
void StartQuitting(const MSG& quit) {
  if (Quitting == 1) {
    // Met again by a later wait: the quit path has begun already. The
    // message goes back as it came, once, without a new pop-up.
    if (quit.hwnd == nullptr || !IsWindow(quit.hwnd))
      PostQuitMessage(static_cast<int>(quit.wParam));
    else
      PostMessageA(quit.hwnd, WM_QUIT, quit.wParam, quit.lParam);
    return;
  }
  if (ShellHooks.transferRole && ShellHooks.transferRole()) CancelTransfer = 1;
  Quitting = 1;
  if (ShellHooks.showTransferMessage) ShellHooks.showTransferMessage("Quitting", nullptr);
  const HWND main = MainWindowOfShell();
  if (quit.hwnd == nullptr || !IsWindow(main)) {
    // The usual form that ends a message loop (and the only one left once
    // the main window is gone); without putting it back, the main loop would
    // never see it.
    PostQuitMessage(static_cast<int>(quit.wParam));
  } else {
    for (int i = 0; i < 3; ++i) PostMessageA(main, WM_QUIT, 0, 0);
  }
}

}  // namespace

TransportHooks ShellHooks;

void DispatchWaitingMessages(int limit) {
  for (int i = 0; i < limit; ++i) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) break;
    if (msg.message == WM_QUIT) {
      if (msg.hwnd == nullptr && ShellHooks.transferRole && ShellHooks.transferRole()) {
        // The transfer instance's window was closed during a transfer: its
        // close raised CancelTransfer already, and no main loop waits for
        // this quit. Taking the quit path would turn the user's cancel into
        // a failed send and close the "Transfer Cancelled." box at once.
        CancelTransfer = 1;
        break;
      }
      const HWND main = MainWindowOfShell();
      if (msg.hwnd == nullptr || (main && msg.hwnd == main)) {
        StartQuitting(msg);
      } else {
        DispatchMessageA(&msg);
      }
      break;
    }
    DispatchMessageA(&msg);
  }
  QueryPerformanceCounter(&lastPump);
}

void PumpMessages(int n) {
  if (SecondsSinceLastPump() < PumpSpacingSeconds) return;
  // A bound on the messages of one call, so that a window that keeps asking
  // to be painted cannot hold the transfer.
  DispatchWaitingMessages(40 * (n > 0 ? n : 1));
}
