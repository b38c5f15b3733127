// Seam: the status row's wait label that brackets every block transfer
// (content/wait_label_win.cpp over the windows the shell registers; native
// tests record it).
#pragma once

void ShowWaitLabel();
void HideWaitLabel();
// Progress callback of the block transfers: "%d / %d (%d%%)" in the label.
void ShowProgress(int done, int total);
