// Seam: the main window's read-only text pane. The Windows front
// end (app/text_pane_win.cpp) sets the edit control's text; tests record it.
#pragma once

// Replaces the whole text of the pane.
void TextPaneSetText(const char* text);
// The Copy Text command: the pane's selection, as it was received, to the
// clipboard.
void TextPaneCopy();
