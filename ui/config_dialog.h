// The Configure dialog (template CONFIGDIALOG, "Configure Velmor"): server
// host and port, the two switches, and for one row of the item table at a
// time its interval, time-of-day window and categories. Every change is
// written to velmor.cfg the moment its control loses the focus or is
// clicked; there is no OK or Cancel.
#pragma once
#include <windows.h>

constexpr const char* SelectItemFirstText = "You must select an item first.";
constexpr const char* TriggerWaitText = "Please Wait. Connecting to server.";

// Runs the dialog modally, owned by owner; returns when "Close" is pressed.
void RunConfigureDialog(HWND owner);
