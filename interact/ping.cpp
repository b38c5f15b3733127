#include "interact/ping.h"

#include "diag/log.h"
#include "net/request_protocol.h"
#include "net/transport.h"

namespace {

constexpr const char* ConnectingText = "Connecting to server.";

// Closes the transfer message, then shows text over the parent.
void Report(const char* text, WindowRef parent) {
  ShowTransferMessageFor(nullptr, parent);
  UserMessageFor(text, parent);
}

}  // namespace

void PingServer(WindowRef parent) {
  ShowTransferMessageFor(ConnectingText, parent);
  Socket s = OpenServerConnection();
  if (s < 0) {
    Report("Ping failed. Unable to make connection to server. Check the address and port and try again later.",
           parent);
    LogActivity("Ping failed.");
    return;
  }
  RequestRecord record = EmptyRecord();
  record.code = RequestPing;
  if (TransferBroken(SendRequest(s, &record))) {
    Report("Ping failed. Unable to send request to server. Please try again later.", parent);
    CloseServerConnection(s);
    LogActivity("Ping failed");
    return;
  }
  if (TransferBroken(ReceiveResponse(s, &record))) {
    Report("Ping receive failed. Please try again later.", parent);
    CloseServerConnection(s);
    LogActivity("Ping failed");
    return;
  }
  ShowTransferMessageFor(nullptr, parent);
  switch (record.code) {
    case ResponseAccepted:
      UserMessageFor("The Velmor Server responded successfully to your ping.", parent);
      break;
    case ResponseBusy:
      UserMessageFor("The Velmor server you're attached to is busy.", parent);
      UserMessageFor("But since you were trying to ping, it was aware enough to say it was busy, so I guess the ping "
                     "worked.",
                     parent);
      break;
    default:
      LogActivityCode("Error from server ", record.code);
      break;
  }
  CloseServerConnection(s);
}
