#include "app/globals.h"
#include "diag/user_message.h"

// The program's message box: modal, owned by the main window, caption the
// main class name, OK only.
void UserMessage(const char* text) { MessageBoxA(MainWindow, text, MainClassName, MB_OK); }
