// The Velmor server: listens on TCP, serves one exchange per connection,
// and stops cleanly.
#pragma once
#include "server/options.h"

#include <cstdint>
#include <memory>
#include <string>

// Written into the content directory when the server starts: its quotas,
// one "name value" line each (donation-bytes, donation-files,
// comment-bytes, comment-files; 0 is no quota).
constexpr const char* QuotaFileName = ".server-quota";
bool WriteQuotaFile(const ServerOptions& options, std::string* error);

// Every instance keeps its counters in <content>/.stats/<instance>.counters
// for the moderation page: "key value" lines (started, updated: Unix
// seconds; exchanges, failed; code<N>: exchanges per request code),
// rewritten at most once a second and at exit.
constexpr const char* StatsFolderName = ".stats";

struct ServerCounters {
  int64_t accepted = 0;       // connections taken in
  int64_t answered_busy = 0;  // told busy for want of capacity
  int64_t refused = 0;        // closed at once, far over capacity
  int active = 0;             // connections open now (busy ones included)
};

class VelmorServer {
 public:
  explicit VelmorServer(const ServerOptions& options);
  ~VelmorServer();
  VelmorServer(const VelmorServer&) = delete;
  VelmorServer& operator=(const VelmorServer&) = delete;

  // Prepares the content directory and the log, binds and listens. False
  // with a reason when any of that fails.
  bool Open(std::string* error);
  // The port listened on (useful with port 0).
  int Port() const;
  // SIGINT and SIGTERM drain the server while Run runs.
  void StopOnSignals();
  // Serves until Stop (or a signal); returns once every connection is
  // closed and every partial upload removed.
  void Run();
  // Stops accepting and ends every connection. Any thread may call it.
  void Stop();
  // Stops accepting and lets the exchanges in flight finish, for at most
  // the drain time (--drain-timeout), ending the rest then. Any thread.
  void Drain();
  ServerCounters Counters() const;

  struct Impl; // shared with the connections

 private:
  std::shared_ptr<Impl> impl_;
};
