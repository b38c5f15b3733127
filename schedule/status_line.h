// Seam: the status-line label under the main window. The shell implements it
// (app/status_line_win.cpp); tests record it.
#pragma once

// Removes the current label, if any; then, unless text is null, shows text
// in a new one.
void ShowStatusLineLabel(const char* text);
