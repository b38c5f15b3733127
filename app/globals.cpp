#include "app/globals.h"

#include "app/display_batch.h"
#include "base/user_message.h"

ShellState Shell;

volatile int Initialising = 0;

namespace {

// The message box belongs to the shell wherever the shell is linked: owned
// by the main window, captioned with the main class name, shown after the
// activity lines logged before it.
const bool MessageBoxOfShell = [] {
  UserMessageHooks.mainWindow = [] { return static_cast<WindowRef>(Shell.MainWindow); };
  UserMessageHooks.caption = Shell.MainClassName;
  UserMessageHooks.beforeShow = FlushDisplay;
  UserMessageHooks.toFront = [] { return Shell.TransferInstance; };
  return true;
}();

}  // namespace
