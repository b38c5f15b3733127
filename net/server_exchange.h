// The opening of every exchange with the server: connect, send the request
// record, receive the response into the same record. Every server operation
// opens its exchange here and reports a failed opening in its own words.
#pragma once
#include "net/request_record.h"
#include "net/server_address.h"
#include "net/transport.h"

// The step at which an opening failed.
enum class ExchangeFailure {
  None,
  NotConnected, // OpenServerConnection failed (and logged why)
  NotSent,      // the request did not go
  NotReceived,  // no response came
  Cancelled,    // the user cancelled while the response was awaited
};

// Connects to the server, sends *record (its code and fields set by the
// caller) and reads the response into it. The connection (the caller closes
// it), or -1 with the connection closed and *failure the step that failed.
// A cancel while the response is awaited (or as it completes) ends the
// exchange as Cancelled: a partly read record is no answer, and nothing
// more is read from the connection. A cancel pressed later stays raised, so
// that the block that follows ends cancelled too. connected, when given,
// runs once the connection stands, before the request goes.
Socket OpenServerExchange(const ServerAddress& server, RequestRecord* record, ExchangeFailure* failure,
                          void (*connected)(void* context) = nullptr, void* context = nullptr);

// The text of texts (not connected, not sent, not received) for a failure.
const char* ExchangeFailureText(ExchangeFailure failure, const char* const texts[3]);

// The activity-log numbers of a request that could not be sent and of a
// response that did not arrive.
enum : int { ExchangeNotSent = -4, ExchangeNotReceived = -5 };

// The opening of every content exchange, with the settings' server. The
// connection, or -1 when it ended with "Request Cancelled", "Error on send"
// (-4), "Error on recv" (-5) or, for a cancel while the response was
// awaited, cancelledLine in the activity log.
Socket StartContentExchange(RequestRecord* record, const char* cancelledLine);
