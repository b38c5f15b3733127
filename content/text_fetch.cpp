#include "content/text_fetch.h"

#include <cstdio>
#include <cstring>

#include "content/text_pane.h"
#include "content/wait_label.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "net/request_protocol.h"
#include "net/server_exchange.h"
#include "net/transport.h"
#include "schedule/category_pick.h"

namespace {

struct TextFetch {
  int requestCode;
  bool convertLineEnds;
  const char* availableLine;
  const char* undeliveredLine;
  const char* unavailableLine;  // ResponseUnavailable
  bool categoryEmptyKnown;      // ResponseQuoteCategoryEmpty has its own line
};

const TextFetch QuoteFetch = {RequestQuote, true, "New Quote Available.",
                              "The Velmor server was unable to deliver the information you requested.",
                              "The Velmor server was unable to obtain the information you requested.", true};
const TextFetch NewsFetchKind = {RequestNews, false, "News Available.", "The Velmor server was unable to deliver the news file.",
                                 "The news file on this Velmor server was unavailable.", false};
const TextFetch TipsFetchKind = {RequestTips, false, "Tips Available.", "The Velmor server was unable to deliver the tips file.",
                                 "The tips file on this Velmor server was unavailable.", false};

// One exchange: request, response, and on code 0 the text block into the
// pane. 1 when a text was shown.
int FetchText(const TextFetch& kind, int category) {
  RequestRecord record = EmptyRecord();
  record.code = kind.requestCode;
  if (kind.categoryEmptyKnown) record.num1 = category;
  Socket s = StartContentExchange(&record, "Transfer Cancelled");
  if (s < 0) return 0;
  int result = 0;
  char line[100];
  switch (record.code) {
    case ResponseAccepted: {
      ShowWaitLabel();
      int status = 0;
      char* text = BlockRecvMemory(s, &status, ShowProgress);
      HideWaitLabel();
      if (!text) {
        LogActivity(status == BlockCancelled ? "Transfer Cancelled" : kind.undeliveredLine);
        break;
      }
      text[status] = '\0';
      if (kind.convertLineEnds) text = ToCrLf(text);
      TextPaneSetText(text);
      GuardedFree(text);
      LogActivity(kind.availableLine);
      result = 1;
      break;
    }
    case ResponseQuoteCategoryEmpty:
      if (kind.categoryEmptyKnown) {
        std::snprintf(line, sizeof line, "Quote Category %d is empty on the server.", category);
        LogActivity(line);
      } else {
        LogActivityCode("Error from server ", record.code);
      }
      break;
    case ResponseBusy:
      LogActivity("The Velmor server you're attached to is busy.");
      break;
    case ResponseUnavailable:
      LogActivity(kind.unavailableLine);
      break;
    default:
      LogActivityCode("Error from server ", record.code);
      break;
  }
  CloseServerConnection(s);
  return result;
}

}  // namespace

int QuoteUpdate(int row) {
  int category = CategoryPick(row);
  if (category == -1) return 0;
  return FetchText(QuoteFetch, category);
}

void NewsFetch() { FetchText(NewsFetchKind, 0); }

void TipsFetch() { FetchText(TipsFetchKind, 0); }

char* ToCrLf(char* text) {
  size_t length = std::strlen(text);
  char* out = GuardedAlloc(static_cast<int>(2 * length + 5));
  char* to = out;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) *to++ = '\r';
    *to++ = text[i];
  }
  *to = '\0';
  GuardedFree(text);
  return out;
}

void ReportBlockReceiveStatus(int status, int category) {
  // Each line takes the category (or, for an unknown status, the status)
  // where it has a number.
  struct StatusLine {
    int status;
    const char* format;
  };
  static const StatusLine lines[] = {
      {BlockOk, "Nothing is wrong, but we tripped an error. Weird eh? cat=%d."},
      {ResponseQuoteCategoryEmpty, "Quote Category %d is empty on the server."},
      {ResponseBusy, "The Velmor server you're attached to is busy."},
      {ResponseUnavailable, "The file requested was unavailable on the Velmor server you attached to."},
      {ResponsePictureCategoryEmpty, "Picture Category %d is empty on the server."},
      {ResponseSoundCategoryEmpty, "Sound Category %d is empty on the server."},
      {BlockCancelled, "Transfer Cancelled."},
  };
  const char* format = "Unknown error from block receive: %d.";
  int number = status;
  for (const StatusLine& known : lines) {
    if (known.status == status) {
      format = known.format;
      number = category;
    }
  }
  char line[100];
  std::snprintf(line, sizeof line, format, number);
  LogActivity(line);
}
