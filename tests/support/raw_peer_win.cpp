#include "tests/support/raw_peer_win.h"

#include <winsock2.h>
#include <windows.h>

namespace {

void EnsureStarted() {
  static bool started = false;
  if (!started) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    started = true;
  }
}

SOCKET Listen(int backlog, int* port) {
  EnsureStarted();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  listen(s, backlog);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return s;
}

}  // namespace

RawPeer::RawPeer(std::vector<Step> script) : script_(std::move(script)) {
  listener_ = Listen(1, &port_);
  thread_ = std::thread([this] { Run(); });
}

RawPeer::~RawPeer() {
  stop_ = true;
  closesocket(static_cast<SOCKET>(listener_)); // ends a pending accept
  thread_.join();
  if (connection_ != ~0ull) closesocket(static_cast<SOCKET>(connection_));
}

std::string RawPeer::Received() {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void RawPeer::Run() {
  SOCKET c = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
  if (c == INVALID_SOCKET) return;
  connection_ = c;
  char buffer[65536];
  for (const Step& step : script_) {
    if (stop_) return;
    switch (step.kind) {
      case Step::Read: {
        int left = step.count;
        while (left > 0 && !stop_) {
          int n = recv(c, buffer, left < static_cast<int>(sizeof buffer) ? left : static_cast<int>(sizeof buffer), 0);
          if (n <= 0) return;
          std::lock_guard<std::mutex> lock(mutex_);
          received_.append(buffer, static_cast<size_t>(n));
          left -= n;
        }
        break;
      }
      case Step::Send: {
        size_t done = 0;
        while (done < step.bytes.size()) {
          int n = send(c, step.bytes.data() + done, static_cast<int>(step.bytes.size() - done), 0);
          if (n <= 0) return;
          done += static_cast<size_t>(n);
        }
        break;
      }
      case Step::Pause: {
        // Measured on the clock: on a loaded machine each Sleep takes longer
        // than asked, and a pause counted in Sleeps would grow with the load.
        const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(step.count);
        while (!stop_ && GetTickCount64() < until) Sleep(10);
        break;
      }
      case Step::Close:
        shutdown(c, SD_BOTH);
        closesocket(c);
        connection_ = ~0ull;
        return;
      case Step::Hold:
        while (!stop_) Sleep(10);
        return;
    }
  }
  if (drain_) {
    for (;;) {
      int n = recv(c, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      std::lock_guard<std::mutex> lock(mutex_);
      received_.append(buffer, static_cast<size_t>(n));
    }
  }
}

PendingListener::PendingListener() {
  listener_ = Listen(0, &port_);
  SOCKET filler = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<u_short>(port_));
  connect(filler, reinterpret_cast<sockaddr*>(&a), sizeof a);
  filler_ = filler;
}

PendingListener::~PendingListener() {
  closesocket(static_cast<SOCKET>(filler_));
  closesocket(static_cast<SOCKET>(listener_));
}

int ClosedPort() {
  int port = 0;
  SOCKET s = Listen(1, &port);
  closesocket(s);
  return port;
}

bool AcceptsConnections(int port) {
  EnsureStarted();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<u_short>(port));
  const bool accepted = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  closesocket(s);
  return accepted;
}
