// A raw TCP peer on loopback for the Windows tests (its own thread, plain
// blocking Winsock from ws2_32): it accepts one connection and plays a
// script, recording every byte the client sends. Used where the bytes on the
// wire must be checked exactly or the server must misbehave in a way that
// needs exact timing; the real exchanges run against the reference server.
#pragma once
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RawPeer {
 public:
  struct Step {
    enum Kind { Read, Send, Pause, Close, Hold } kind;
    int count = 0;          // Read: bytes; Pause: milliseconds
    std::string bytes;      // Send
  };
  static Step Read(int n) { return {Step::Read, n, {}}; }
  static Step Send(std::string b) { return {Step::Send, 0, std::move(b)}; }
  static Step Pause(int ms) { return {Step::Pause, ms, {}}; }
  static Step Close() { return {Step::Close, 0, {}}; }
  static Step Hold() { return {Step::Hold, 0, {}}; } // keep the connection open, silent, until destroyed

  explicit RawPeer(std::vector<Step> script);
  ~RawPeer();
  int Port() const { return port_; }
  // Everything read so far.
  std::string Received();
  // Reads until the client closes, after the script (for "what else came").
  void DrainAfterScript() { drain_ = true; }

 private:
  void Run();
  std::vector<Step> script_;
  unsigned long long listener_ = ~0ull;
  unsigned long long connection_ = ~0ull;
  int port_ = 0;
  bool drain_ = false;
  volatile bool stop_ = false;
  std::mutex mutex_;
  std::string received_;
  std::thread thread_;
};

// A listener whose accept queue is full, so that a further connection stays
// pending for as long as it lives.
class PendingListener {
 public:
  PendingListener();
  ~PendingListener();
  int Port() const { return port_; }

 private:
  unsigned long long listener_ = ~0ull;
  unsigned long long filler_ = ~0ull;
  int port_ = 0;
};

// A loopback port with nothing listening on it.
int ClosedPort();

// Whether something accepts a connection on the loopback port now.
bool AcceptsConnections(int port);
