// The Windows Sockets side of the transport (Windows only).
//
// The library "wsock32" is loaded at run time, never linked: without it the
// program still starts and reports that the network will not work.
#pragma once
#include "net/transport.h"

struct sockaddr;

// Loads the library and fetches its entry points; failures are reported to
// the user (activity log and message boxes). The library stays loaded when
// only entry points are missing.
void LoadSocketLibrary();
// Loads the library unless that was tried since the last unload: the first
// connection loads it, so that a start-up that never connects (and every
// start-up's time and memory) goes without it.
void LoadSocketLibraryOnce();
// Stops and frees the library when it is loaded.
void UnloadSocketLibrary();
// The library is loaded and every entry point the connections need is there.
bool SocketLibraryUsable();

// Resolves the server's host: a dotted IPv4 address by hand, a host name
// through the library. 0 and the four address bytes in network order, or -1.
int ResolveServer(const char* host, unsigned char address[4]);

// Ends a host-name lookup that ResolveServer is waiting for; the lookup then
// fails as "Gethostbyname failed". Called by the transfer message window
// when it gets a command while LookupInProgress is 1 (it clears the flag
// itself; clearing it alone ends the wait too).
void CancelServerLookup();

// Ok connected; TimedOut (no connection within TransferTimeout), IoError
// (also a refused connection, at once), Cancelled or Quit.
TransferResult ConnectWithTimeout(Socket s, const sockaddr* address, int length);

// One send / recv once the socket is ready: Ok with *moved bytes (at least 1
// for a receive), PeerClosed (receive), Cancelled or Quit before the socket
// was ready, TimedOut, IoError.
TransferResult WaitAndSend(Socket s, const char* bytes, int length, int flags, int* moved);
TransferResult WaitAndReceive(Socket s, char* buffer, int length, int flags, int* moved);

// Test seam: the name of the library to load ("wsock32"); nullptr restores it.
void SetSocketLibraryNameForTesting(const char* name);

// Test seam: what starts an asynchronous host-name lookup, in the shape of
// the library's WSAAsyncGetHostByName (answer window, answer message, name,
// answer buffer and its size; a task handle, or null when it did not
// start). The answer is the message with the task as wParam. nullptr
// restores the library's own.
struct HWND__;
using HostLookupStart = void*(__stdcall*)(HWND__* window, unsigned int message, const char* name, char* buffer,
                                          int size);
void SetHostLookupForTesting(HostLookupStart start);
// Test seam: what cancels an abandoned lookup, in the shape of the
// library's WSACancelAsyncRequest (0 when cancelled: no answer will come).
// nullptr restores the library's own.
using HostLookupCancel = int(__stdcall*)(void* task);
void SetHostLookupCancelForTesting(HostLookupCancel cancel);
