// The opening of an exchange started from a dialog: "Connecting to server."
// in the transfer message over the dialog while it opens, and a failed
// opening told to the user in a message box over the dialog and logged.
#pragma once
#include "interact/dialog_shell.h"
#include "net/server_exchange.h"

struct DialogExchangeTexts {
  const char* messages[3];        // not connected, not sent, not received
  const char* notConnectedLine;   // activity line when no connection was made
  const char* failedLine;         // activity line when the request or response failed
  const char* cancelledLine;      // activity line when the user cancelled the wait for the response
};


// Opens the exchange with the settings' server. The connection with the
// transfer message closed, or -1 with the failure reported (a cancel as
// "Transfer Cancelled." and the cancelled line).
Socket OpenDialogExchange(WindowRef dialog, RequestRecord* record, const DialogExchangeTexts& texts);

// The three messages of add category and comment, with one activity line.
DialogExchangeTexts RequestExchangeTexts(const char* failedLine);
