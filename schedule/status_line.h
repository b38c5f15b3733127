// Seam: the status-line label under the main window. Windows implements it
// (schedule/status_line_win.cpp) over the windows the shell registers; tests
// record it.
#pragma once

// Removes the current label, if any; then, unless text is null, shows text
// in a new one.
void ShowStatusLineLabel(const char* text);
