// Seam: the socket layer's primitives that the request protocol and every
// server operation are built on.
//
// The Windows client implements them over Windows Sockets (socket_layer_win.cpp,
// message_pump_win.cpp); the native tests link an in-memory stand-in.
// Everything runs on the program's one thread: the waits keep dispatching
// window messages, and the flags below are raised by window procedures that
// run inside those waits.
#pragma once
#include <cstdint>

#include "net/server_address.h"
#include "net/transfer_result.h"

// A connected socket (0 or greater); negative values are failures.
using Socket = std::intptr_t;

// Raised by window procedures of the shell that run inside the waits.
// CancelTransfer is cleared only when a connection opens: a cancel pressed
// at any point of an exchange (while its response is awaited, between the
// response and the block) ends that exchange, never just the step it met.
extern volatile int CancelTransfer; // 1: abandon the current transfer at the next check
extern volatile int Quitting;       // 1: a quit was met while waiting; never cleared

// OpenServerConnection's failures; a connected socket is 0 or greater.
enum : int {
  ConnectionUnresolvable = -1, // "Can't resolve address: <host>"
  ConnectionNoSocket = -2,     // "Error opening socket" -2 (also: no sockets library)
  ConnectionFailed = -3,       // "Error on Connect" -3: refused, timed out, no port; or cancelled
};

// Resolves the server and connects without blocking the user interface; the
// failure is in the activity log. The connected socket, or one of the
// Connection numbers above.
Socket OpenServerConnection(const ServerAddress& server);

// Closes a connection that OpenServerConnection returned.
void CloseServerConnection(Socket s);

// Write / read exactly length bytes: Ok when all went, Cancelled (part of
// them may have moved), Quit, TimedOut, PeerClosed (receive) or IoError.
// flags is always 0.
TransferResult SendAll(Socket s, const char* bytes, int length, int flags);
TransferResult ReceiveAll(Socket s, char* buffer, int length, int flags);

// Dispatches the window messages that are waiting, then returns; a quit
// message starts the quit path (Quitting). A call takes at most 40 * n
// messages (n below 1 counts as 1), so that a stream of messages cannot hold
// a wait up, and one that comes right after the previous call may return at
// once without looking at the queue.
void PumpMessages(int n);

// The sockets library's last error number.
int LastSocketError();

// Seconds without progress after which a wait fails (120). Tests shorten it.
extern int TransferTimeout;
