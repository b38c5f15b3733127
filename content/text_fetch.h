// The three text contents: quotes (a schedulable item), news and tips (on the
// user's command). Each is one request, one response and one block of text
// from the server, shown in the text pane; everything is reported in the
// activity log.
#pragma once
#include "net/request_record.h"
#include "net/transport.h"

// Fetches a quote from a category of the row's selection and shows it.
// 1 when a new quote is shown, else 0.
int QuoteUpdate(int row);
void NewsFetch();
void TipsFetch();

// Writes CR LF for every LF not preceded by CR. Takes a NUL-terminated text in
// a guarded block, frees it, and returns the converted text in a new guarded
// block.
char* ToCrLf(char* text);

// The activity-log line for a failed block receive of a picture or sound.
void ReportBlockReceiveStatus(int status, int category);
