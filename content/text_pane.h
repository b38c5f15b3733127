// Seam: the main window's read-only text pane (control 5). The Windows front
// end (app/text_pane_win.cpp) sets the edit control's text; tests record it.
#pragma once

// Replaces the whole text of the pane.
void TextPaneSetText(const char* text);
