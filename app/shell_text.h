// Fixed texts of the shell and the progress line.
#pragma once
#include <cstddef>

constexpr const char* TitleLabelText = "Velmor for Windows V7.1";
constexpr const char* AboutBoxCaption = "Velmor for Windows";
constexpr const char* HoldLabelText = "*Timer Held*";
constexpr const char* WaitLabelText = "Wait...";
constexpr const char* ConnectingText = "Please Wait. Connecting to server.";
constexpr const char* TransferRunningText = "A Velmor donate transfer is already running.";
constexpr const char* TrayTipNormal = "Velmor Activity";
constexpr const char* TrayTipTransfer = "Velmor Transfer";

// Shown in the text pane at start-up: six lines, each ended by CR LF.
extern const char AboutPaneText[];
// The About box: lines separated by LF.
extern const char AboutBoxText[];

// "%d / %d (%d%%)" with done, total and done * 100 / total, the percentage
// truncated. The product is taken in 64 bits, so transfers past 21 MB do
// not overflow; a total of 0 or less shows 0 per cent instead of dividing
// by it. out is always terminated (cut when size is too small).
void FormatProgress(char* out, std::size_t size, int done, int total);
