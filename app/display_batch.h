// The activity list and the progress pane take their lines in batches.
//
// A list box or an edit control that is given a line redraws its scroll bar
// there and then, and with some systems' themes (Wine's default one) that
// redraw costs milliseconds: the transfer instance spent more time showing
// its lines than sending the files. So ActivityListAdd and ProgressPaneEdit
// only note their lines, and the lines go onto the screen together:
// DisplayBatchPeriod after the first of them (a timer of the main window,
// which runs whenever messages are dispatched), before a message box opens,
// and the moment anything asks the control about its contents. Every
// reader, in this process or another, therefore sees every line; only the
// picture on the screen may lag by up to the period.
#pragma once
#include <windows.h>

constexpr UINT_PTR DisplayBatchTimerId = 446;
constexpr UINT DisplayBatchPeriod = 250;

// Puts every waiting line on the screen now.
void FlushDisplay();
