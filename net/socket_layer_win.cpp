// Connections to the Velmor server and the waits of the transport.
//
// Every wait blocks for at most WaitSlice in the socket poll, then lets the
// window messages through, then checks the time-out, the user's cancel and
// the quit: the user interface stays alive without a second thread and
// without spinning a processor.
#include <cstdio>
#include <cstring>

#include "config/config_file.h"
#include "diag/log.h"
#include "base/user_message.h"
#include "net/message_pump_win.h"
#include "net/server_address.h"
#include "net/socket_api_win.h"
#include "net/socket_layer.h"
#include "net/transport_hooks.h"
#include "net/wait_timer.h"

namespace {

constexpr long WaitSliceMicroseconds = 10000;
constexpr int WouldBlock = 10035; // WSAEWOULDBLOCK
constexpr int InProgress = 10036; // WSAEINPROGRESS

void LogInternalNumber(const char* format, int number) {
  char line[100];
  std::snprintf(line, sizeof line, format, number);
  LogInternal(line);
}

enum class Direction { Read, Write };

// Waits up to one slice for the socket to become readable or writable.
// 1 ready, 0 not yet, negative when the poll failed.
int PollSocket(Socket s, Direction direction) {
  fd_set set;
  set.fd_count = 1;
  set.fd_array[0] = static_cast<SOCKET>(s);
  timeval slice = {0, WaitSliceMicroseconds};
  int n = Sock.select(static_cast<int>(s) + 1, direction == Direction::Read ? &set : nullptr,
                      direction == Direction::Write ? &set : nullptr, nullptr, &slice);
  if (n < 0) return -1;
  return n > 0 && Sock.WSAFDIsSet(static_cast<SOCKET>(s), &set) ? 1 : 0;
}

// ---- Host-name lookup --------------------------------------------------
//
// The library answers an asynchronous lookup with a message to a hidden
// window; the wait for it dispatches messages like every other wait, so the
// transfer message window's command can end it. An abandoned lookup keeps
// its answer buffer until its answer arrives, whenever that is, because the
// library may still write into it.

constexpr UINT LookupAnswerMessage = WM_APP + 0x51;
constexpr int MaxPendingLookups = 8;

struct PendingLookup {
  HANDLE task;
  char* buffer; // MAXGETHOSTSTRUCT bytes
  HMODULE pin;  // keeps the library that runs the lookup loaded until it answers
};

PendingLookup pending[MaxPendingLookups];
HWND lookupWindow = nullptr;
HANDLE currentTask = nullptr;
bool currentAnswered = false;
bool currentFound = false;
unsigned char currentAddress[4];

bool FirstAddress(const hostent* host, unsigned char out[4]) {
  if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list || !host->h_addr_list[0])
    return false;
  std::memcpy(out, host->h_addr_list[0], 4);
  return true;
}

LRESULT CALLBACK LookupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != LookupAnswerMessage) return DefWindowProcA(window, message, wParam, lParam);
  HANDLE task = reinterpret_cast<HANDLE>(wParam);
  for (PendingLookup& entry : pending) {
    if (!entry.buffer || entry.task != task) continue;
    // An answer that comes after the user cancelled the lookup is dropped,
    // even when it arrives in the same pass of the pump as the cancel.
    if (task == currentTask && !currentAnswered && LookupInProgress == 1) {
      currentAnswered = true;
      currentFound = WSAGETASYNCERROR(lParam) == 0 &&
                     FirstAddress(reinterpret_cast<const hostent*>(entry.buffer), currentAddress);
    }
    delete[] entry.buffer;
    if (entry.pin) FreeLibrary(entry.pin);
    entry = PendingLookup{};
  }
  return 0;
}

HostLookupStart lookupStartForTesting = nullptr;
HostLookupCancel lookupCancelForTesting = nullptr;

// An abandoned lookup is cancelled, so that its slot is free at once; when
// the library cannot cancel it (its answer is already on the way) the slot
// stays until the answer arrives.
void AbandonLookup(PendingLookup* slot, HANDLE task) {
  if (!slot->buffer || slot->task != task) return;  // answered meanwhile
  const HostLookupCancel cancel = lookupCancelForTesting
                                      ? lookupCancelForTesting
                                      : reinterpret_cast<HostLookupCancel>(Sock.WSACancelAsyncRequest);
  if (!cancel || cancel(task) != 0) return;
  delete[] slot->buffer;
  if (slot->pin) FreeLibrary(slot->pin);
  *slot = PendingLookup{};
}

HWND LookupWindow() {
  if (lookupWindow) return lookupWindow;
  WNDCLASSA wc = {};
  wc.lpfnWndProc = LookupWindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VelmorLookup";
  RegisterClassA(&wc);
  lookupWindow = CreateWindowA("VelmorLookup", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  return lookupWindow;
}

bool LookupAsync(const char* name, unsigned char out[4]) {
  const HostLookupStart start = lookupStartForTesting ? lookupStartForTesting : Sock.WSAAsyncGetHostByName;
  PendingLookup* slot = nullptr;
  for (PendingLookup& entry : pending) {
    if (!entry.buffer) {
      slot = &entry;
      break;
    }
  }
  HWND window = LookupWindow();
  if (!slot || !window) return false;
  slot->buffer = new char[MAXGETHOSTSTRUCT];
  // An abandoned lookup goes on inside the library; unloading the library
  // before it answers (a reload before the next connection, or shutdown)
  // must not pull the code from under it.
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(start)), &slot->pin);
  slot->task = start(window, LookupAnswerMessage, name, slot->buffer, MAXGETHOSTSTRUCT);
  if (!slot->task) {
    delete[] slot->buffer;
    if (slot->pin) FreeLibrary(slot->pin);
    *slot = PendingLookup{};
    return false;
  }
  currentTask = slot->task;
  currentAnswered = false;
  currentFound = false;
  LookupInProgress = 1;
  // A scheduled fetch has no pop-up and nothing to cancel it with: a
  // resolver that never answers must not hold it for ever.
  WaitTimer timer = WaitTimerStart();
  while (!currentAnswered && LookupInProgress == 1 && Quitting != 1) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    DispatchWaitingMessages(400);
    if (!currentAnswered && WaitTimerExpired(timer)) {
      LogInternal("Connection timeout.");
      break;
    }
  }
  LookupInProgress = 0;
  currentTask = nullptr;
  if (!currentAnswered) {
    // Cancelled, timed out or quitting: the answer, if any, is dropped.
    AbandonLookup(slot, slot->task);
    return false;
  }
  std::memcpy(out, currentAddress, 4);
  return currentFound;
}

bool LookupBlocking(const char* name, unsigned char out[4]) {
  LookupInProgress = 1;
  const hostent* host = Sock.gethostbyname(name);
  LookupInProgress = 0;
  return FirstAddress(host, out);
}

}  // namespace

volatile int LookupInProgress = 0;

void SetHostLookupForTesting(HostLookupStart start) { lookupStartForTesting = start; }

void SetHostLookupCancelForTesting(HostLookupCancel cancel) { lookupCancelForTesting = cancel; }

void CancelServerLookup() {
  if (LookupInProgress != 1) return;
  if (Sock.WSACancelBlockingCall) Sock.WSACancelBlockingCall();
  LookupInProgress = 0;
}

int ResolveServer(const char* host, unsigned char address[4]) {
  switch (ParseServerAddress(host, address)) {
    case ServerAddressKind::Dotted:
      return 0;
    case ServerAddressKind::Unresolvable:
      return -1;
    case ServerAddressKind::HostName:
      break;
  }
  bool found = false;
  if (Sock.WSAAsyncGetHostByName || lookupStartForTesting) {
    found = LookupAsync(host, address);
  } else if (Sock.gethostbyname) {
    found = LookupBlocking(host, address);
  }
  if (!found) {
    LogInternal("Gethostbyname failed");
    return -1;
  }
  return 0;
}

int LastSocketError() { return Sock.WSAGetLastError ? Sock.WSAGetLastError() : 0; }

TransferResult ConnectWithTimeout(Socket s, const sockaddr* address, int length) {
  WaitTimer timer = WaitTimerStart();
  if (Sock.connect(static_cast<SOCKET>(s), address, length) != 0) {
    int error = LastSocketError();
    if (error != WouldBlock && error != InProgress) {
      LogInternalNumber("Error trying to connect: %d", error);
      return TransferResult::IoError;
    }
  }
  for (;;) {
    fd_set writable, failed;
    writable.fd_count = 1;
    writable.fd_array[0] = static_cast<SOCKET>(s);
    failed = writable;
    timeval slice = {0, WaitSliceMicroseconds};
    int n = Sock.select(static_cast<int>(s) + 1, nullptr, &writable, &failed, &slice);
    if (n < 0) {
      LogInternalNumber("Error trying to select connect: %d", LastSocketError());
      return TransferResult::IoError;
    }
    // A refused or unreachable connection shows in the error set at once;
    // waiting for writability alone would sit out the whole time-out.
    if (n > 0 && Sock.WSAFDIsSet(static_cast<SOCKET>(s), &failed)) {
      int error = 0;
      int size = sizeof error;
      if (!Sock.getsockopt ||
          Sock.getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        error = LastSocketError();
      LogInternalNumber("Error trying to connect: %d", error);
      return TransferResult::IoError;
    }
    bool connected = n > 0 && Sock.WSAFDIsSet(static_cast<SOCKET>(s), &writable);
    if (!connected) PumpMessages(10);
    if (WaitTimerExpired(timer)) {
      LogInternal("Connection timeout.");
      return TransferResult::TimedOut;
    }
    if (CancelTransfer == 1) return TransferResult::Cancelled;
    if (connected) return TransferResult::Ok;
    // The program is closing: a connection that is still pending would only
    // hold the shutdown up.
    if (Quitting == 1) return TransferResult::Quit;
  }
}

namespace {

// The one place where a failed connection is reported.
Socket ConnectionFailure(Socket status, const ServerAddress& server) {
  switch (status) {
    case ConnectionUnresolvable:
      LogActivityPair("Can't resolve address: ", server.host);
      break;
    case ConnectionNoSocket:
      LogActivityCode("Error opening socket", ConnectionNoSocket);
      break;
    default:
      LogActivityCode("Error on Connect", ConnectionFailed);
      break;
  }
  return status;
}

}  // namespace

Socket OpenServerConnection(const ServerAddress& server) {
  if (server.reloadLibrary) {
    UnloadSocketLibrary();
    LoadSocketLibrary();
  } else {
    LoadSocketLibraryOnce();
  }
  // Without the library nothing can be created; say so as for a socket that
  // could not be made.
  if (!SocketLibraryUsable()) return ConnectionFailure(ConnectionNoSocket, server);
  unsigned char address[4];
  if (ResolveServer(server.host, address) != 0) return ConnectionFailure(ConnectionUnresolvable, server);
  CancelTransfer = 0;
  const int port = ServerPortNumber(server.port);
  if (port == 0) {
    // The setting is kept as the user typed it; a port that is no port fails
    // here like a refused connection instead of reaching another port.
    LogInternal("Port setting is not a port number from 1 to 65535");
    return ConnectionFailure(ConnectionFailed, server);
  }

  sockaddr_in to;
  std::memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_port = Sock.htons(static_cast<u_short>(port));
  std::memcpy(&to.sin_addr, address, 4);

  SOCKET raw = Sock.socket(AF_INET, SOCK_STREAM, 0);
  if (raw == INVALID_SOCKET) return ConnectionFailure(ConnectionNoSocket, server);
  Socket s = static_cast<Socket>(raw);
  u_long nonBlocking = 1;
  if (Sock.ioctlsocket(raw, static_cast<long>(FIONBIO), &nonBlocking) != 0)
    LogInternalNumber("Can't make socket non-blocking. Errno=%d", LastSocketError());

  TransferResult result = ConnectWithTimeout(s, reinterpret_cast<const sockaddr*>(&to), static_cast<int>(sizeof to));
  if (result == TransferResult::Ok) return s;
  Sock.closesocket(raw);
  if (result != TransferResult::Cancelled) return ConnectionFailure(ConnectionFailed, server);
  UserMessage("Connection cancelled");
  LogActivityCode("Connection cancelled", ConnectionFailed);
  return ConnectionFailed;
}

void CloseServerConnection(Socket s) {
  if (s >= 0 && Sock.closesocket) Sock.closesocket(static_cast<SOCKET>(s));
}

namespace {

// What one recv or send (its return value n) means: true with *result when
// it decided the wait, false when the socket would block.
bool Decided(Direction direction, int n, int* moved, TransferResult* result) {
  if (direction == Direction::Read && n == 0) {
    *result = TransferResult::PeerClosed;
  } else if (n >= 0) {
    *moved = n;
    *result = TransferResult::Ok;
  } else if (LastSocketError() != WouldBlock) {
    *result = TransferResult::IoError;
  } else {
    return false;
  }
  return true;
}

// One recv or send (call) once the socket is ready, for WaitAndReceive and
// WaitAndSend.
template <class Call>
TransferResult WaitAndMove(Socket s, Direction direction, int* moved, Call call) {
  *moved = 0;
  TransferResult result = TransferResult::Ok;
  // Data that is already there, or room to write, is taken at once, without
  // a poll or a pause.
  if (CancelTransfer != 1 && Quitting != 1 && Decided(direction, call(), moved, &result)) return result;
  WaitTimer timer = WaitTimerStart();
  for (;;) {
    int ready = PollSocket(s, direction);
    if (ready < 0) {
      LogInternalNumber(direction == Direction::Read ? "Error trying to select read: %d"
                                                     : "Error trying to select write: %d",
                        LastSocketError());
      return TransferResult::IoError;
    }
    if (!ready) PumpMessages(5);
    if (WaitTimerExpired(timer)) {
      // A peer that stops reading must not hold the sender for ever either;
      // only a receive logs its time-out here.
      if (direction == Direction::Read) LogInternal("Connection timeout.");
      return TransferResult::TimedOut;
    }
    if (CancelTransfer == 1) return TransferResult::Cancelled;
    if (Quitting == 1) return TransferResult::Quit;
    if (ready && Decided(direction, call(), moved, &result)) return result;
  }
}

}  // namespace

TransferResult WaitAndReceive(Socket s, char* buffer, int length, int flags, int* moved) {
  return WaitAndMove(s, Direction::Read, moved, [&] { return Sock.recv(static_cast<SOCKET>(s), buffer, length, flags); });
}

TransferResult WaitAndSend(Socket s, const char* bytes, int length, int flags, int* moved) {
  return WaitAndMove(s, Direction::Write, moved, [&] { return Sock.send(static_cast<SOCKET>(s), bytes, length, flags); });
}

TransferResult ReceiveAll(Socket s, char* buffer, int length, int flags) {
  PumpMessages(10);
  WaitTimer progress = WaitTimerStart();
  int got = 0;
  while (got < length) {
    if (Quitting == 1) return TransferResult::Quit;
    int n = 0;
    TransferResult result = WaitAndReceive(s, buffer + got, length - got, flags, &n);
    if (result == TransferResult::PeerClosed) {
      // Nothing more can ever arrive.
      LogInternal("Connection closed by server.");
      return result;
    }
    if (result != TransferResult::Ok) return result;
    got += n;
    if (got < length) {
      PumpMessages(10);
      if (n >= 1) WaitTimerRestart(&progress);
      if (WaitTimerExpired(progress)) {
        LogInternal("Connection timeout.");
        return TransferResult::TimedOut;
      }
    }
    if (CancelTransfer == 1) return TransferResult::Cancelled;
  }
  return TransferResult::Ok;
}

TransferResult SendAll(Socket s, const char* bytes, int length, int flags) {
  WaitTimer progress = WaitTimerStart();
  int sent = 0;
  while (sent < length) {
    if (Quitting == 1) return TransferResult::Quit;
    int n = 0;
    TransferResult result = WaitAndSend(s, bytes + sent, length - sent, flags, &n);
    if (result != TransferResult::Ok) return result;
    sent += n;
    if (sent < length) {
      if (n >= 1) WaitTimerRestart(&progress);
      if (WaitTimerExpired(progress)) return TransferResult::TimedOut;
    }
    if (CancelTransfer == 1) return TransferResult::Cancelled;
  }
  return TransferResult::Ok;
}
