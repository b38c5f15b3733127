// Operations of the client that arrive with later parts of it: the
// batch donation and the dialogs of the menu.
//
// The shell calls each one from its proper place. Until its own part lands,
// each of them does nothing (pending_win.cpp), and that part deletes the
// placeholder together with its declaration here.
#pragma once
#include <windows.h>

// The transfer instance's whole job: send every listed file, then return.
void RunDonateTransfer();

// Dialogs of the main menu, modal, owned by owner.
void RunDonateDialog(HWND owner); // clears Initialising once it has filled its controls
void RunAddCategoryDialog(HWND owner);
void RunSendCommentDialog(HWND owner);
