// Command-line options of velmor-server and velmor-admin.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ServerOptions {
  std::string bind_address = "127.0.0.1";
  int port = 1123;                 // 0: any free port (see ready_file)
  std::string content_dir = "content";
  int max_connections = 512;       // exchanges at once; more are told busy
  int64_t max_donation_bytes = 64 * 1024 * 1024;
  double idle_timeout_seconds = 120; // no progress for this long ends a connection
  int threads = 2;
  int32_t chunk_size = 4096;       // announced in every block header
  std::string log_file = "-";      // "-" standard error, "none" no log
  std::string fault_file;          // empty: no fault injection
  std::string ready_file;          // written with the port once listening
  std::string make_sample;         // write a sample content directory and exit
  // Limits for a public server; 0 turns a quota off.
  int max_per_address = 64;        // exchanges at once from one address
  int donations_per_hour = 600;    // donations begun per address in any hour
  int64_t donation_quota_bytes = int64_t(4) << 30;
  int64_t donation_quota_files = 20000;
  int64_t comment_quota_bytes = 64 * 1024 * 1024;
  int64_t comment_quota_files = 20000;
  // Several instances behind a proxy.
  std::vector<std::string> proxy_from; // addresses whose PROXY headers are believed
  std::string instance_name;           // empty: <hostname>-<port>
  double drain_timeout_seconds = 30;   // SIGTERM: longest wait for exchanges in flight
  double lame_duck_seconds = 0;        // SIGTERM: still serving, failing the proxy's health checks
  double sweep_interval_seconds = 60;  // how often .incoming leftovers are looked for
  bool help = false;
};

// Parses argv; false with a message in *error when an option is unknown or
// its value is not acceptable.
bool ParseServerOptions(int argc, const char* const* argv, ServerOptions* options, std::string* error);

std::string ServerUsage();

struct AdminOptions {
  std::string bind_address = "127.0.0.1";
  int port = 1180;                 // 0: any free port (see ready_file)
  std::string content_dir = "content";
  std::string password_file;       // required to serve
  std::string audit_log;           // default: <content>/audit.log
  std::string ready_file;          // written with the port once listening
  int threads = 4;
  std::string set_password;        // write a password for `user` into this file and exit
  std::string user = "admin";      // the operator name --set-password writes
  bool help = false;
};

bool ParseAdminOptions(int argc, const char* const* argv, AdminOptions* options, std::string* error);

std::string AdminUsage();
