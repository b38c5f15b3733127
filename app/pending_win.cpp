// Placeholders for the operations listed in pending.h. None of them does
// anything yet; each goes when the part that provides it lands.
#include "app/pending.h"

#include "app/globals.h"

void RunDonateTransfer() {}

// The donate command raises Initialising for the dialog, which clears it
// when it has filled its controls; with no dialog, nothing else would.
void RunDonateDialog(HWND) { Initialising = 0; }
void RunAddCategoryDialog(HWND) {}
void RunSendCommentDialog(HWND) {}
