#include "interact/comment.h"

#include <cstdio>
#include <cstring>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "content/wait_label.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "interact/dialog_exchange.h"
#include "net/request_protocol.h"
#include "net/transport.h"

namespace {

constexpr const char* CancelledLine = "Send comment request Cancelled";
constexpr const char* HeadingFormat = "Comment from id: %s\r\n";

// The heading with the client's identity, then the comment. 1 delivered,
// else 0 (reported).
int SendCommentBlock(Socket s, WindowRef dialog, const char* comment) {
  const int size = static_cast<int>(std::strlen(comment)) + 64;
  char* block = GuardedAlloc(size);
  if (!block) return 0;
  const int length = std::snprintf(block, static_cast<std::size_t>(size), HeadingFormat, ClientIdentity);
  std::snprintf(block + length, static_cast<std::size_t>(size - length), "%s", comment);
  ShowWaitLabel();
  const int status = BlockSendData(s, block, static_cast<int>(std::strlen(block)), ShowProgress);
  HideWaitLabel();
  GuardedFree(block);
  if (status == BlockOk) {
    UserMessage("Comment sent successfully.", dialog);
    LogActivity("Your comment was sent to the Velmor server");
    return 1;
  }
  if (status == BlockCancelled) {
    UserMessage("Transfer Cancelled.", dialog);
    LogActivity("Cancel request sending comment");
    return 0;
  }
  UserMessage("An error occured sending your comment to the server.", dialog);
  char line[64];
  std::snprintf(line, sizeof line, "Error sending comment: %d", status);
  LogActivity(line);
  return 0;
}

}  // namespace

int SendComment(WindowRef dialog, const char* text) {
  char* comment = GuardedAlloc(CommentReadMax + 1);
  if (!comment) return 0;
  std::snprintf(comment, CommentReadMax + 1, "%s", text);
  TrimSpaces(comment);
  int result = 0;
  if (std::strlen(comment) < 2) {
    UserMessage("You can not send an empty comment.", dialog);
    GuardedFree(comment);
    return 0;
  }
  RequestRecord record = EmptyRecord();
  record.code = RequestComment;
  Socket s = OpenDialogExchange(dialog, &record, RequestExchangeTexts(CancelledLine));
  if (s < 0) {
    GuardedFree(comment);
    return 0;
  }
  switch (record.code) {
    case ResponseAccepted: result = SendCommentBlock(s, dialog, comment); break;
    case ResponseCannotHandle: UserMessage("The server was unable to handle your request.", dialog); break;
    case ResponseBusy: UserMessage("The Velmor server you're attached to is busy.", dialog); break;
    default: LogActivityCode("Error from server ", record.code); break;
  }
  CloseServerConnection(s);
  GuardedFree(comment);
  return result;
}
