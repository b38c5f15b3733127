// Seam: the transfer instance's text pane, where the batch reports its
// progress. The shell implements it over its main window's text pane
// (nothing happens once that window is gone); native tests record it.
#pragma once

// Copies the pane's text into out (at most size - 1 characters, always
// terminated). Returns its length.
int ProgressPaneText(char* out, int size);

// Removes the first dropFront characters of the pane's text and appends
// text at its end, then puts the caret at the end and scrolls it into view.
// (Editing in place spares the pane laying out its whole text again.)
void ProgressPaneEdit(int dropFront, const char* text);
