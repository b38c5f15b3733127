#include "interact/ping.h"

#include "diag/log.h"
#include "interact/dialog_exchange.h"
#include "net/request_protocol.h"
#include "net/transport.h"

void PingServer(WindowRef parent) {
  static const DialogExchangeTexts texts = {
      {"Ping failed. Unable to make connection to server. Check the address and port and try again later.",
       "Ping failed. Unable to send request to server. Please try again later.",
       "Ping receive failed. Please try again later."},
      "Ping failed.",
      "Ping failed",
      "Ping cancelled"};
  RequestRecord record = EmptyRecord();
  record.code = RequestPing;
  Socket s = OpenDialogExchange(parent, &record, texts);
  if (s < 0) return;
  switch (record.code) {
    case ResponseAccepted:
      UserMessage("The Velmor Server responded successfully to your ping.", parent);
      break;
    case ResponseBusy:
      UserMessage("The Velmor server you're attached to is busy.", parent);
      UserMessage("But since you were trying to ping, it was aware enough to say it was busy, so I guess the ping "
                     "worked.",
                     parent);
      break;
    default:
      LogActivityCode("Error from server ", record.code);
      break;
  }
  CloseServerConnection(s);
}
