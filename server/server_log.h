// The server's log: one line per exchange (time, client id, request type,
// result, bytes, milliseconds) and the odd note, to standard error, a file,
// or nowhere. Safe to use from every worker thread.
#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

struct ExchangeLogLine {
  std::string client_id;
  std::string address; // the client's (behind a proxy, the one it names)
  int32_t request_type = 0;
  bool request_read = false;
  bool responded = false;
  int32_t response_code = 0;
  int64_t bytes_in = 0;
  int64_t bytes_out = 0;
  double milliseconds = 0;
  std::string outcome;
};

class ServerLog {
 public:
  ServerLog() = default;
  ~ServerLog();
  ServerLog(const ServerLog&) = delete;
  ServerLog& operator=(const ServerLog&) = delete;

  // "-" standard error, "none" no log, anything else a file appended to.
  bool Open(const std::string& target, std::string* error);
  void Exchange(const ExchangeLogLine& line);
  void Note(const std::string& text);

 private:
  void Write(const std::string& text);
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  bool own_file_ = false;
};

// The name a log line gives a request type ("quote", "donate", ...), or
// "unknown".
const char* RequestTypeName(int32_t type);

// Makes text safe for a log line: control characters and quotes escaped.
std::string LogSafe(const std::string& text);
