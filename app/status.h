// Status and progress windows: the busy hold with its tray animation, the
// wait label with byte progress, and the transfer message pop-up with its
// Cancel Transfer button.
#pragma once
#include <windows.h>

constexpr int AnimationTimerId = 444;
constexpr int CancelTransferButtonId = 119;

int BusyHoldQuery();
int BusyHoldBegin();
int BusyHoldEnd();

void ShowWaitLabel();
void HideWaitLabel();
bool WaitLabelExists();
void RecreateWaitLabel(); // after a resize
// Progress callback of every block transfer: "%d / %d (%d%%)".
void ShowProgress(int done, int total);

// Opens, replaces or closes (text == nullptr) the transfer message pop-up.
void ShowTransferMessage(const char* text, HWND owner);
