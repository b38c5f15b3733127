// In-memory stand-in for the socket layer (net/transport.h), so that the
// request protocol and the content fetches run natively under the
// sanitizers: the "server" is a string of bytes, every send is recorded.
#pragma once
#include <functional>
#include <string>
#include <vector>

struct FakePeer {
  std::string incoming;            // what the server sends, front to back
  size_t readPos = 0;
  std::vector<std::string> sends;  // bytes of every SendAll call
  std::vector<int> receiveSizes;   // length of every ReceiveAll call
  int pumps = 0;
  std::function<void(int pump)> onPump; // runs inside PumpMessages
  int failSendsFrom = -1;          // SendAll number (0-based) from which sends fail
  long long openResult = 3;        // what OpenServerConnection returns
  int opens = 0;
  int closes = 0;
  int lastError = 10060;
};

FakePeer& Peer();
void ResetPeer(); // also clears CancelTransfer and Quitting

// Wire helpers for the tests.
std::string RecordBytes(int code, int num1, int num2, const char* text = "");
std::string BlockBytes(const std::string& data, int chunk);
std::string AllSent();
