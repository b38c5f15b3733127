#include "interact/dialog_exchange.h"

#include "diag/log.h"

Socket OpenDialogExchange(WindowRef dialog, RequestRecord* record, const DialogExchangeTexts& texts) {
  ShowTransferMessage("Connecting to server.", dialog);
  ExchangeFailure failure;
  Socket s = OpenServerExchange(ConfiguredServer(), record, &failure);
  ShowTransferMessage(nullptr, dialog);
  if (s >= 0) return s;
  if (failure == ExchangeFailure::Cancelled) {
    UserMessage("Transfer Cancelled.", dialog);
    LogActivity(texts.cancelledLine);
    return -1;
  }
  UserMessage(ExchangeFailureText(failure, texts.messages), dialog);
  LogActivity(failure == ExchangeFailure::NotConnected ? texts.notConnectedLine : texts.failedLine);
  return -1;
}

DialogExchangeTexts RequestExchangeTexts(const char* failedLine) {
  return DialogExchangeTexts{{"Unable to make connection to server. Check the address and port and try again later.",
                              "Unable to send request to server. Please try again later.",
                              "Unable to receive confirmation from server. Please try again later."},
                             failedLine,
                             failedLine,
                             failedLine};
}
