// A blocking Velmor client for the server tests, built on the shared
// request-record codec, plus a server running in the test's own process.
#pragma once
#include "net/request_record.h"
#include "server/options.h"
#include "server/server.h"
#include "tests/support/test_files.h"

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <chrono>

class TestConnection {
 public:
  TestConnection() = default;
  ~TestConnection();
  TestConnection(const TestConnection&) = delete;
  TestConnection& operator=(const TestConnection&) = delete;

  // Connects to 127.0.0.1:port, from the loopback address from when one is
  // given (127.0.0.2 is another client to the server); receives give up
  // after timeout_ms.
  bool Connect(int port, int timeout_ms = 10000, const char* from = nullptr);
  bool Send(const void* data, std::size_t size);
  bool Send(const std::string& bytes) { return Send(bytes.data(), bytes.size()); }
  // Sends a request the way the client does: id, magics 7 and 3, fields.
  bool SendRequest(int32_t code, int32_t num1 = 0, int32_t num2 = 0, const std::string& text = "",
                   const std::string& client_id = "12345");
  // Receives exactly size bytes; false on end of stream, error or time-out.
  bool Receive(void* data, std::size_t size);
  // The next 90 bytes, raw.
  bool ReceiveRaw(std::string* raw);
  bool ReceiveRecord(RequestRecord* record);
  // Everything up to the end of the stream (at most limit bytes).
  std::string ReceiveToEnd(std::size_t limit = 64 * 1024 * 1024);
  // True when the server closes the connection within timeout_ms (data
  // that arrives first is read and dropped).
  bool ClosedByPeer(int timeout_ms);
  void Close();
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// The 90 bytes of a record, laid out by hand (independently of the codec),
// as the server should send them.
std::string ExpectedRecord(int32_t code, int32_t num1, int32_t num2, const std::string& text = "");

// A request record as a client sends it, laid out by hand.
std::string RequestBytes(int32_t code, int32_t num1, int32_t num2, const std::string& text = "",
                         const std::string& client_id = "12345", int32_t magic1 = 7, int32_t magic2 = 3);

// A temporary directory, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteTextFile(const std::string& path, const std::string& bytes);
std::string ReadTextFile(const std::string& path);
// Regular files below dir (recursive), relative paths, sorted.
std::vector<std::string> FilesBelow(const std::string& dir);

// A content directory that the tests know byte for byte:
//   quote categories Alpha (2 quotes), Beta (1), Empty Quotes (none), Long
//   (one quote of 999,999 bytes); picture categories Sizes (empty until a
//   test fills it), Empty Pictures, Pair (two pictures); sound categories
//   Chimes (one WAV), Quiet (none); news, tips and a status line.
void WriteTestContent(const std::string& root);

// A server on a free loopback port, running on its own thread for the
// life of the object.
class RunningServer {
 public:
  explicit RunningServer(ServerOptions options);
  ~RunningServer();
  int port() const { return port_; }
  VelmorServer& server() { return *server_; }
  const ServerOptions& options() const { return options_; }
  // Stops the server and waits for it to finish.
  void Stop();

 private:
  ServerOptions options_;
  std::unique_ptr<VelmorServer> server_;
  std::thread thread_;
  int port_ = -1;
};

// Options for a test server over root: port 0, log into root's parent
// folder file "server.log".
ServerOptions TestOptions(const std::string& content_root, const std::string& log_file);

// Polls a condition every 10 ms for up to timeout_ms.
template <class Condition>
bool WaitFor(Condition condition, int timeout_ms = 5000) {
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}
