// Seam: the transfer instance's text pane, where the batch reports its
// progress. The shell implements it over its main window's text pane
// (nothing happens once that window is gone); native tests record it.
#pragma once

// Copies the pane's text into out (at most size - 1 characters, always
// terminated). Returns its length.
int ProgressPaneText(char* out, int size);

// Replaces the pane's text, puts the caret at its end and scrolls it into
// view.
void ProgressPaneShow(const char* text);
