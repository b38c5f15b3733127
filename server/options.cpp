#include "server/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool WholeNumber(const char* text, int64_t low, int64_t high, int64_t* out) {
  if (!text || !*text) {
    return false;
  }
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) {
    return false;
  }
  *out = v;
  return true;
}

bool Seconds(const char* text, double* out) {
  if (!text || !*text) {
    return false;
  }
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (*end != '\0' || !(v > 0) || v > 86400) {
    return false;
  }
  *out = v;
  return true;
}

} // namespace

std::string ServerUsage() {
  return "Usage: velmor-server [options]\n"
         "       velmor-server --make-sample DIR\n"
         "\n"
         "The reference Velmor content server: quotes, pictures, sounds, news and tips\n"
         "for Velmor clients, and a home for their donations, categories and comments.\n"
         "\n"
         "Options:\n"
         "  --port N               TCP port (default 1123; 0 picks a free one)\n"
         "  --bind ADDRESS         address to listen on (default 127.0.0.1)\n"
         "  --content DIR          content directory (default ./content)\n"
         "  --max-connections N    exchanges served at once; beyond that clients are\n"
         "                         told the server is busy (default 512)\n"
         "  --max-donation BYTES   largest donated file accepted (default 67108864)\n"
         "  --idle-timeout SECONDS a connection without progress for this long is\n"
         "                         closed (default 120)\n"
         "  --threads N            worker threads (default 2)\n"
         "  --chunk-size BYTES     chunk size announced in block headers (default 4096)\n"
         "  --log FILE             one line per exchange: time, client id, request type,\n"
         "                         result, bytes, milliseconds; '-' is standard error\n"
         "                         (default), 'none' turns it off\n"
         "  --faults FILE          fault injection control file, read for every\n"
         "                         connection (see README)\n"
         "  --ready-file FILE      write the listening port into FILE once ready\n"
         "  --make-sample DIR      write a sample content directory into DIR and exit\n"
         "  --help                 show this text\n"
         "\n"
         "SIGINT or SIGTERM stops the server; donations still arriving are dropped.\n";
}

bool ParseServerOptions(int argc, const char* const* argv, ServerOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string inline_value;
    bool has_inline = false;
    std::size_t eq = name.find('=');
    if (name.compare(0, 2, "--") == 0 && eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_inline = true;
    }
    if (name == "--help" || name == "-h") {
      options->help = true;
      continue;
    }
    const char* value = nullptr;
    if (has_inline) {
      value = inline_value.c_str();
    } else if (i + 1 < argc) {
      value = argv[i + 1];
    }
    auto consumed = [&]() {
      if (!has_inline) {
        ++i;
      }
    };
    auto bad = [&](const char* what) {
      *error = name + ": " + what;
      return false;
    };
    int64_t n = 0;
    if (name == "--port") {
      if (!WholeNumber(value, 0, 65535, &n)) return bad("expects a port number 0 to 65535");
      options->port = static_cast<int>(n);
    } else if (name == "--bind") {
      if (!value || !*value) return bad("expects an address");
      options->bind_address = value;
    } else if (name == "--content") {
      if (!value || !*value) return bad("expects a directory");
      options->content_dir = value;
    } else if (name == "--max-connections") {
      if (!WholeNumber(value, 1, 100000, &n)) return bad("expects a number 1 to 100000");
      options->max_connections = static_cast<int>(n);
    } else if (name == "--max-donation") {
      if (!WholeNumber(value, 1, 0x7FFFFFFF, &n)) return bad("expects a size 1 to 2147483647");
      options->max_donation_bytes = n;
    } else if (name == "--idle-timeout") {
      if (!Seconds(value, &options->idle_timeout_seconds)) return bad("expects seconds above 0, at most 86400");
    } else if (name == "--threads") {
      if (!WholeNumber(value, 1, 64, &n)) return bad("expects a number 1 to 64");
      options->threads = static_cast<int>(n);
    } else if (name == "--chunk-size") {
      if (!WholeNumber(value, 1, 1000000, &n)) return bad("expects a size 1 to 1000000");
      options->chunk_size = static_cast<int32_t>(n);
    } else if (name == "--log") {
      if (!value || !*value) return bad("expects a file, '-' or 'none'");
      options->log_file = value;
    } else if (name == "--faults") {
      if (!value || !*value) return bad("expects a file");
      options->fault_file = value;
    } else if (name == "--ready-file") {
      if (!value || !*value) return bad("expects a file");
      options->ready_file = value;
    } else if (name == "--make-sample") {
      if (!value || !*value) return bad("expects a directory");
      options->make_sample = value;
    } else {
      *error = "unknown option " + name + " (see --help)";
      return false;
    }
    consumed();
  }
  return true;
}
