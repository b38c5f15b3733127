// The dialogs of the "&Interaction" menu, modal, owned by owner, and the
// start of the transfer instance.
#pragma once
#include <windows.h>

// DONATEDIALOG, then NEWDONATE for the chosen type. The donate command
// raises Initialising before; the dialog lowers it once its controls are set.
void RunDonateDialog(HWND owner);
void RunAddCategoryDialog(HWND owner);
void RunSendCommentDialog(HWND owner);

// Starts DataDirectory + "Velmorw.exe" with the transfer marker through the
// shell, without waiting for it; a refusal is shown in a message box owned
// by owner.
void StartDonateTransfer(HWND owner);
