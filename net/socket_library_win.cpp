// Loading and unloading the sockets library at run time.
#include <cstdio>

#include "diag/log.h"
#include "base/user_message.h"
#include "net/socket_api_win.h"
#include "net/socket_layer.h"
#include "net/transport_hooks.h"

SocketApi Sock;
void (*CancelBlockingLookup)() = nullptr;

namespace {

HMODULE library = nullptr;
bool loadTried = false;
const char* const DefaultLibraryName = "wsock32";
const char* libraryName = DefaultLibraryName;

template <typename T>
bool Fetch(T* slot, const char* name) {
  FARPROC entry = GetProcAddress(library, name);
  *slot = reinterpret_cast<T>(reinterpret_cast<void*>(entry));
  return entry != nullptr;
}

}  // namespace

void SetSocketLibraryNameForTesting(const char* name) { libraryName = name ? name : DefaultLibraryName; }

void LoadSocketLibraryOnce() {
  if (!loadTried) LoadSocketLibrary();
}

void LoadSocketLibrary() {
  loadTried = true;
  // The transfer message window ends a host-name lookup through this.
  CancelBlockingLookup = CancelServerLookup;
  Sock = SocketApi{};
  library = LoadLibraryA(libraryName);
  if (!library) {
    char text[100];
    std::snprintf(text, sizeof text, "Could not load TCPIP support. Error: %ld", static_cast<long>(GetLastError()));
    LogActivity(text);
    UserMessage(text);
    UserMessage("Velmor will not function without TCPIP support.");
    return;
  }
  int failures = 0;
  failures += !Fetch(&Sock.WSAStartup, "WSAStartup");
  failures += !Fetch(&Sock.WSACancelBlockingCall, "WSACancelBlockingCall");
  failures += !Fetch(&Sock.WSAGetLastError, "WSAGetLastError");
  failures += !Fetch(&Sock.WSAFDIsSet, "__WSAFDIsSet");
  failures += !Fetch(&Sock.WSACleanup, "WSACleanup");
  failures += !Fetch(&Sock.recv, "recv");
  failures += !Fetch(&Sock.gethostbyname, "gethostbyname");
  failures += !Fetch(&Sock.send, "send");
  failures += !Fetch(&Sock.connect, "connect");
  failures += !Fetch(&Sock.htons, "htons");
  failures += !Fetch(&Sock.socket, "socket");
  failures += !Fetch(&Sock.select, "select");
  failures += !Fetch(&Sock.closesocket, "closesocket");
  failures += !Fetch(&Sock.ioctlsocket, "ioctlsocket");
  // Optional extras: their absence only costs the cancellable lookup and the
  // exact error number of a refused connection.
  Fetch(&Sock.WSAAsyncGetHostByName, "WSAAsyncGetHostByName");
  Fetch(&Sock.WSACancelAsyncRequest, "WSACancelAsyncRequest");
  Fetch(&Sock.getsockopt, "getsockopt");
  if (Sock.WSAStartup) {
    WSADATA startup;
    if (Sock.WSAStartup(0x0101, &startup) != 0) ++failures;
  }
  if (failures != 0) {
    char text[100];
    std::snprintf(text, sizeof text, "Could not load TCPIP/SOCKET support. Error: %d", failures);
    LogActivity(text);
    UserMessage(text);
    UserMessage("Velmor will not function without TCPIP/SOCKET support.");
  }
}

void UnloadSocketLibrary() {
  loadTried = false;
  if (!library) return;
  if (Sock.WSACleanup) Sock.WSACleanup();
  FreeLibrary(library);
  library = nullptr;
  Sock = SocketApi{};
}

bool SocketLibraryUsable() {
  return library && Sock.WSAGetLastError && Sock.WSAFDIsSet && Sock.recv && Sock.send && Sock.connect && Sock.htons &&
         Sock.socket && Sock.select && Sock.closesocket && Sock.ioctlsocket;
}
