// Seam: the status row's wait label that brackets every block transfer (the
// shell implements these in its status windows; app/status.h declares the
// same functions for Windows code).
#pragma once

void ShowWaitLabel();
void HideWaitLabel();
// Progress callback of the block transfers: "%d / %d (%d%%)" in the label.
void ShowProgress(int done, int total);
