#include "interact/add_category.h"

#include <cstdio>
#include <cstring>

#include "base/text_encoding.h"
#include "config/config_file.h"
#include "diag/log.h"
#include "net/request_protocol.h"
#include "net/transport.h"

namespace {

constexpr const char* CancelledLine = "Add category request Cancelled";

void Report(const char* text, WindowRef dialog) {
  ShowTransferMessageFor(nullptr, dialog);
  UserMessageFor(text, dialog);
}

}  // namespace

int AddCategory(WindowRef dialog, int itemType, const char* name) {
  if (itemType == 0) {
    UserMessageFor("You must select an item type.", dialog);
    return 0;
  }
  char trimmed[AddCategoryReadMax + 1];
  std::snprintf(trimmed, sizeof trimmed, "%s", name);
  TrimSpaces(trimmed);
  if (std::strlen(trimmed) < 2) {
    UserMessageFor("Please enter a category name.", dialog);
    return 0;
  }
  ShowTransferMessageFor("Connecting to server.", dialog);
  Socket s = OpenServerConnection();
  if (s < 0) {
    Report("Unable to make connection to server. Check the address and port and try again later.", dialog);
    LogActivity(CancelledLine);
    return 0;
  }
  RequestRecord record = EmptyRecord();
  record.code = RequestAddCategory;
  record.num1 = itemType;
  // The field ends in a NUL within its 50 bytes: names longer than the
  // dialog allows are cut to the field's limit.
  // A UTF-8 name is cut before a whole character.
  std::size_t length = TextCutLength(trimmed, std::strlen(trimmed), AddCategoryNameMax);
  SetFieldText(record.text, RecordTextSize, trimmed, length);
  if (TransferBroken(SendRequest(s, &record))) {
    Report("Unable to send request to server. Please try again later.", dialog);
    CloseServerConnection(s);
    LogActivity(CancelledLine);
    return 0;
  }
  if (ReceiveResponse(s, &record) != TransferResult::Ok) {
    Report("Unable to receive confirmation from server. Please try again later.", dialog);
    CloseServerConnection(s);
    LogActivity(CancelledLine);
    return 0;
  }
  ShowTransferMessageFor(nullptr, dialog);
  switch (record.code) {
    case ResponseAccepted: {
      UserMessageFor("Add category request was successful.", dialog);
      char line[120];
      std::snprintf(line, sizeof line, "Category %s was added successfully to the server.", trimmed);
      LogActivity(line);
      break;
    }
    case ResponseCannotHandle: UserMessageFor("The server was unable to handle your request.", dialog); break;
    case ResponseBusy: UserMessageFor("The Velmor server you're attached to is busy.", dialog); break;
    default: LogActivityCode("Error from server ", record.code); break;
  }
  CloseServerConnection(s);
  return 1;
}
