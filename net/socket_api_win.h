// The entry points of the run-time loaded sockets library (Windows only,
// internal to net/). Every pointer is null until fetched.
#pragma once
#include <winsock2.h>
#include <windows.h>

struct SocketApi {
  // The 14 entry points, fetched by name in this order.
  int(WINAPI* WSAStartup)(WORD, LPWSADATA);
  int(WINAPI* WSACancelBlockingCall)();
  int(WINAPI* WSAGetLastError)();
  int(WINAPI* WSAFDIsSet)(SOCKET, fd_set*);
  int(WINAPI* WSACleanup)();
  int(WINAPI* recv)(SOCKET, char*, int, int);
  hostent*(WINAPI* gethostbyname)(const char*);
  int(WINAPI* send)(SOCKET, const char*, int, int);
  int(WINAPI* connect)(SOCKET, const sockaddr*, int);
  u_short(WINAPI* htons)(u_short);
  SOCKET(WINAPI* socket)(int, int, int);
  int(WINAPI* select)(int, fd_set*, fd_set*, fd_set*, const timeval*);
  int(WINAPI* closesocket)(SOCKET);
  int(WINAPI* ioctlsocket)(SOCKET, long, u_long*);
  // Fetched in addition, and optional: the asynchronous host-name lookup
  // that keeps the user interface alive and can be cancelled, and the read
  // of a socket's pending error after a failed connect.
  HANDLE(WINAPI* WSAAsyncGetHostByName)(HWND, u_int, const char*, char*, int);
  int(WINAPI* WSACancelAsyncRequest)(HANDLE);
  int(WINAPI* getsockopt)(SOCKET, int, int, char*, int*);
};

extern SocketApi Sock;
