// Command-line options of velmor-server.
#pragma once
#include <cstdint>
#include <string>

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
  bool help = false;
};

// Parses argv; false with a message in *error when an option is unknown or
// its value is not acceptable.
bool ParseServerOptions(int argc, const char* const* argv, ServerOptions* options, std::string* error);

std::string ServerUsage();
