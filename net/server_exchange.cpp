#include "net/server_exchange.h"

#include "diag/log.h"
#include "net/request_protocol.h"

Socket OpenServerExchange(const ServerAddress& server, RequestRecord* record, ExchangeFailure* failure,
                          void (*connected)(void* context), void* context) {
  *failure = ExchangeFailure::None;
  Socket s = OpenServerConnection(server);
  if (s < 0) {
    *failure = ExchangeFailure::NotConnected;
    return -1;
  }
  if (connected) connected(context);
  if (TransferBroken(SendRequest(s, record))) {
    *failure = ExchangeFailure::NotSent;
  } else {
    const TransferResult result = ReceiveResponse(s, record);
    if (result == TransferResult::Cancelled || (result == TransferResult::Ok && CancelTransfer == 1 && Quitting != 1)) {
      *failure = ExchangeFailure::Cancelled;
    } else if (result == TransferResult::Ok) {
      return s;
    } else {
      *failure = ExchangeFailure::NotReceived;
    }
  }
  CloseServerConnection(s);
  return -1;
}

const char* ExchangeFailureText(ExchangeFailure failure, const char* const texts[3]) {
  switch (failure) {
    case ExchangeFailure::NotConnected: return texts[0];
    case ExchangeFailure::NotSent: return texts[1];
    case ExchangeFailure::NotReceived:
    case ExchangeFailure::Cancelled:
    case ExchangeFailure::None: break;
  }
  return texts[2];
}

Socket StartContentExchange(RequestRecord* record, const char* cancelledLine) {
  ExchangeFailure failure;
  Socket s = OpenServerExchange(ConfiguredServer(), record, &failure);
  switch (failure) {
    case ExchangeFailure::None: break;
    case ExchangeFailure::NotConnected: LogActivity("Request Cancelled"); break;
    case ExchangeFailure::NotSent: LogActivityCode("Error on send", ExchangeNotSent); break;
    case ExchangeFailure::NotReceived: LogActivityCode("Error on recv", ExchangeNotReceived); break;
    case ExchangeFailure::Cancelled: LogActivity(cancelledLine); break;
  }
  return s;
}
