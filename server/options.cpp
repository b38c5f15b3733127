#include "server/options.h"

#include <cerrno>
#include <cstdint>
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

// Walks argv as "--name value" or "--name=value" pairs; handle returns
// false with *error set when the option is unknown or its value bad.
template <class Handle>
bool WalkOptions(int argc, const char* const* argv, bool* help, std::string* error, Handle handle) {
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
      *help = true;
      continue;
    }
    const char* value = has_inline ? inline_value.c_str() : (i + 1 < argc ? argv[i + 1] : nullptr);
    std::string why;
    int known = handle(name, value, &why);
    if (known < 0) {
      *error = "unknown option " + name + " (see --help)";
      return false;
    }
    if (known == 0) {
      *error = name + ": " + why;
      return false;
    }
    if (!has_inline) {
      ++i;
    }
  }
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
         "\n"
         "Limits for a public server (a quota of 0 is no quota):\n"
         "  --max-per-address N    exchanges at once from one address; more are told\n"
         "                         busy (default 64)\n"
         "  --donations-per-hour N donations one address may begin in any hour; more\n"
         "                         are told busy (default 600)\n"
         "  --donation-quota BYTES total size of waiting donations (default 4294967296)\n"
         "  --donation-files N     number of waiting donations (default 20000)\n"
         "  --comment-quota BYTES  total size of kept comments (default 67108864)\n"
         "  --comment-files N      number of kept comments (default 20000)\n"
         "A full quota is answered 5 with error number 122.\n"
         "  --help                 show this text\n"
         "\n"
         "SIGINT or SIGTERM stops the server; donations still arriving are dropped.\n";
}

bool ParseServerOptions(int argc, const char* const* argv, ServerOptions* options, std::string* error) {
  return WalkOptions(argc, argv, &options->help, error, [&](const std::string& name, const char* value,
                                                            std::string* why) -> int {
    auto bad = [&](const char* what) {
      *why = what;
      return 0;
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
    } else if (name == "--max-per-address") {
      if (!WholeNumber(value, 1, 100000, &n)) return bad("expects a number 1 to 100000");
      options->max_per_address = static_cast<int>(n);
    } else if (name == "--donations-per-hour") {
      if (!WholeNumber(value, 1, 1000000, &n)) return bad("expects a number 1 to 1000000");
      options->donations_per_hour = static_cast<int>(n);
    } else if (name == "--donation-quota" || name == "--donation-files" || name == "--comment-quota" ||
               name == "--comment-files") {
      if (!WholeNumber(value, 0, INT64_MAX, &n)) return bad("expects a number, 0 for no quota");
      int64_t* target = name == "--donation-quota"   ? &options->donation_quota_bytes
                        : name == "--donation-files" ? &options->donation_quota_files
                        : name == "--comment-quota"  ? &options->comment_quota_bytes
                                                     : &options->comment_quota_files;
      *target = n;
    } else {
      return -1;
    }
    return 1;
  });
}

std::string AdminUsage() {
  return "Usage: velmor-admin --content DIR --passwords FILE [options]\n"
         "       velmor-admin --set-password FILE [--user NAME]   (password read from standard input)\n"
         "\n"
         "The moderation page of a Velmor server: look at donations and accept or\n"
         "reject them, read comments, add categories, and see how busy the server is.\n"
         "\n"
         "Options:\n"
         "  --port N               HTTP port (default 1180; 0 picks a free one)\n"
         "  --bind ADDRESS         address to listen on (default 127.0.0.1)\n"
         "  --content DIR          the server's content directory (default ./content)\n"
         "  --passwords FILE       operator names and password hashes (required)\n"
         "  --audit FILE           where accepts, rejects and added categories are\n"
         "                         recorded (default DIR/audit.log)\n"
         "  --threads N            request threads (default 4)\n"
         "  --ready-file FILE      write the listening port into FILE once ready\n"
         "  --set-password FILE    read a password from standard input, store its hash\n"
         "                         for --user NAME (default admin) in FILE, and exit\n"
         "  --help                 show this text\n";
}

bool ParseAdminOptions(int argc, const char* const* argv, AdminOptions* options, std::string* error) {
  return WalkOptions(argc, argv, &options->help, error, [&](const std::string& name, const char* value,
                                                            std::string* why) -> int {
    int64_t n = 0;
    std::string* text = name == "--bind"           ? &options->bind_address
                        : name == "--content"      ? &options->content_dir
                        : name == "--passwords"    ? &options->password_file
                        : name == "--audit"        ? &options->audit_log
                        : name == "--ready-file"   ? &options->ready_file
                        : name == "--set-password" ? &options->set_password
                        : name == "--user"         ? &options->user
                                                   : nullptr;
    if (text) {
      if (!value || !*value) {
        *why = "expects a value";
        return 0;
      }
      *text = value;
    } else if (name == "--port") {
      if (!WholeNumber(value, 0, 65535, &n)) {
        *why = "expects a port number 0 to 65535";
        return 0;
      }
      options->port = static_cast<int>(n);
    } else if (name == "--threads") {
      if (!WholeNumber(value, 1, 64, &n)) {
        *why = "expects a number 1 to 64";
        return 0;
      }
      options->threads = static_cast<int>(n);
    } else {
      return -1;
    }
    return 1;
  });
}
