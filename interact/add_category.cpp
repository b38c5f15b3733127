#include "interact/add_category.h"

#include <cstdio>
#include <cstring>

#include "config/config_file.h"
#include "diag/log.h"
#include "interact/dialog_exchange.h"
#include "net/request_protocol.h"
#include "net/transport.h"

namespace {

constexpr const char* CancelledLine = "Add category request Cancelled";

}  // namespace

int AddCategory(WindowRef dialog, int itemType, const char* name) {
  if (itemType == 0) {
    UserMessage("You must select an item type.", dialog);
    return 0;
  }
  char trimmed[AddCategoryReadMax + 1];
  std::snprintf(trimmed, sizeof trimmed, "%s", name);
  TrimSpaces(trimmed);
  if (std::strlen(trimmed) < 2) {
    UserMessage("Please enter a category name.", dialog);
    return 0;
  }
  RequestRecord record = EmptyRecord();
  record.code = RequestAddCategory;
  record.num1 = itemType;
  // The field ends in a NUL within its 50 bytes: names longer than the
  // dialog allows are cut to the field's limit.
  std::size_t length = std::strlen(trimmed);
  if (length > static_cast<std::size_t>(AddCategoryNameMax)) length = AddCategoryNameMax;
  SetFieldText(record.text, RecordTextSize, trimmed, length);
  Socket s = OpenDialogExchange(dialog, &record, RequestExchangeTexts(CancelledLine));
  if (s < 0) return 0;
  switch (record.code) {
    case ResponseAccepted: {
      UserMessage("Add category request was successful.", dialog);
      char line[120];
      std::snprintf(line, sizeof line, "Category %s was added successfully to the server.", trimmed);
      LogActivity(line);
      break;
    }
    case ResponseCannotHandle: UserMessage("The server was unable to handle your request.", dialog); break;
    case ResponseBusy: UserMessage("The Velmor server you're attached to is busy.", dialog); break;
    default: LogActivityCode("Error from server ", record.code); break;
  }
  CloseServerConnection(s);
  return 1;
}
