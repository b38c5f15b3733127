#include "interact/dialog_exchange.h"

#include "diag/log.h"

Socket OpenDialogExchange(WindowRef dialog, RequestRecord* record, const DialogExchangeTexts& texts,
                          CancelledResponse cancelled) {
  ShowTransferMessage("Connecting to server.", dialog);
  ExchangeFailure failure;
  Socket s = OpenServerExchange(ConfiguredServer(), record, &failure, cancelled);
  ShowTransferMessage(nullptr, dialog);
  if (s >= 0) return s;
  UserMessage(ExchangeFailureText(failure, texts.messages), dialog);
  LogActivity(failure == ExchangeFailure::NotConnected ? texts.notConnectedLine : texts.failedLine);
  return -1;
}

DialogExchangeTexts RequestExchangeTexts(const char* failedLine) {
  return DialogExchangeTexts{{"Unable to make connection to server. Check the address and port and try again later.",
                              "Unable to send request to server. Please try again later.",
                              "Unable to receive confirmation from server. Please try again later."},
                             failedLine,
                             failedLine};
}
