#include "server/options.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

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

bool Seconds(const char* text, bool zero_ok, double* out) {
  if (!text || !*text) {
    return false;
  }
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (*end != '\0' || !(v > 0 || (zero_ok && v == 0)) || v > 86400) {
    return false;
  }
  *out = v;
  return true;
}

bool IpAddress(const std::string& text) {
  unsigned char bytes[16];
  return ::inet_pton(AF_INET, text.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, text.c_str(), bytes) == 1;
}

// One option of a program: its name, what it sets, the range of its value
// and its help text. The default shown by --help is read from a
// default-made options struct, so that it is stated once, in options.h.
template <class Options>
struct Option {
  const char* name;
  const char* value;  // the value's placeholder in --help
  const char* help;   // lines of help; the default is appended
  const char* why;    // the complaint about a bad value
  std::string Options::*text = nullptr;
  int Options::*number = nullptr;
  int64_t Options::*wide = nullptr;
  double Options::*seconds = nullptr;
  std::vector<std::string> Options::*addresses = nullptr;
  int64_t low = 0;
  int64_t high = 0;
  bool show_default = true;
  bool zero_ok = false; // seconds: 0 is a value too

  // Stores value; false when it is not acceptable.
  bool Set(Options* o, const char* value_text) const {
    int64_t n = 0;
    if (text) {
      if (!value_text || !*value_text) return false;
      o->*text = value_text;
    } else if (number) {
      if (!WholeNumber(value_text, low, high, &n)) return false;
      o->*number = static_cast<int>(n);
    } else if (wide) {
      if (!WholeNumber(value_text, low, high, &n)) return false;
      o->*wide = n;
    } else if (seconds) {
      if (!Seconds(value_text, zero_ok, &(o->*seconds))) return false;
    } else if (addresses) {
      // Comma-separated; the option may also be given more than once.
      if (!value_text || !*value_text) return false;
      std::string all = value_text;
      std::size_t start = 0;
      while (start <= all.size()) {
        std::size_t comma = all.find(',', start);
        std::string one = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!IpAddress(one)) return false;
        (o->*addresses).push_back(one);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    }
    return true;
  }

  std::string Default(const Options& o) const {
    if (text) return (o.*text).empty() ? std::string() : "'" + o.*text + "'";
    if (number) return std::to_string(o.*number);
    if (wide) return std::to_string(o.*wide);
    if (seconds) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%g", o.*seconds);
      return buffer;
    }
    return std::string();
  }
};

template <class Options>
Option<Options> Text(const char* name, const char* value, std::string Options::*field, const char* help,
                     bool show_default = true) {
  Option<Options> o{name, value, help, "expects a value"};
  o.text = field;
  o.show_default = show_default;
  return o;
}

// A whole number within low..high, into an int or an int64_t field.
template <class Options, class Field>
Option<Options> Ranged(const char* name, const char* value, Field Options::*field, int64_t low, int64_t high,
                       const char* why, const char* help) {
  Option<Options> o{name, value, help, why};
  if constexpr (std::is_same<Field, int>::value) {
    o.number = field;
  } else {
    o.wide = field;
  }
  o.low = low;
  o.high = high;
  return o;
}

// "  --name VALUE   help line one (default X)", later lines indented.
template <class Options>
std::string OptionHelp(const std::vector<Option<Options>>& table, const char* const* sections) {
  const Options defaults;
  std::string out;
  int section = 0;
  for (const Option<Options>& option : table) {
    if (!option.name[0]) {
      out += sections[section++];
      continue;
    }
    std::string head = std::string("  ") + option.name + (option.value[0] ? " " : "") + option.value;
    std::string help = option.help;
    std::string value = option.Default(defaults);
    if (option.show_default && !value.empty()) {
      help += " (default " + value + ")";
    }
    // Wrap to 79 columns with the help starting at column 25.
    const std::size_t indent = 25, width = 79;
    std::string line = head;
    if (line.size() + 1 > indent) {
      line += ' ';
    } else {
      line.resize(indent, ' ');
    }
    std::size_t pos = 0;
    bool first_word = true;
    while (pos < help.size()) {
      std::size_t space = help.find(' ', pos);
      std::string word = help.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
      pos = space == std::string::npos ? help.size() : space + 1;
      if (!first_word && line.size() + 1 + word.size() > width) {
        out += line + "\n";
        line = std::string(indent, ' ') + word;
      } else {
        line += (first_word ? "" : " ") + word;
      }
      first_word = false;
    }
    out += line + "\n";
  }
  return out;
}

// Walks argv as "--name value" or "--name=value" pairs against the table.
template <class Options>
bool ParseWithTable(const std::vector<Option<Options>>& table, int argc, const char* const* argv, Options* options,
                    std::string* error) {
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
    const Option<Options>* found = nullptr;
    for (const Option<Options>& option : table) {
      if (option.name[0] && name == option.name) {
        found = &option;
      }
    }
    if (!found) {
      *error = "unknown option " + name + " (see --help)";
      return false;
    }
    const char* value = has_inline ? inline_value.c_str() : (i + 1 < argc ? argv[i + 1] : nullptr);
    if (!found->Set(options, value)) {
      *error = name + ": " + found->why;
      return false;
    }
    if (!has_inline) {
      ++i;
    }
  }
  return true;
}

using S = ServerOptions;
using SO = Option<S>;

// An empty name starts the next section of the help text.
const std::vector<SO>& ServerTable() {
  static const std::vector<SO> table = [] {
    std::vector<SO> t = {
        Ranged<S>("--port", "N", &S::port, 0, 65535, "expects a port number 0 to 65535",
                  "TCP port; 0 picks a free one"),
        Text<S>("--bind", "ADDRESS", &S::bind_address, "address to listen on"),
        Text<S>("--content", "DIR", &S::content_dir, "content directory"),
        Ranged<S>("--max-connections", "N", &S::max_connections, 1, 100000, "expects a number 1 to 100000",
                  "exchanges served at once; beyond that clients are told the server is busy"),
        Ranged<S>("--max-donation", "BYTES", &S::max_donation_bytes, 1, 0x7FFFFFFF, "expects a size 1 to 2147483647",
                "largest donated file accepted"),
        SO{"--idle-timeout", "SECONDS", "a connection without progress for this long is closed",
           "expects seconds above 0, at most 86400"},
        Ranged<S>("--threads", "N", &S::threads, 1, 64, "expects a number 1 to 64", "worker threads"),
        Ranged<S>("--chunk-size", "BYTES", &S::chunk_size, 1, 1000000, "expects a size 1 to 1000000",
                  "chunk size announced in block headers"),
        Text<S>("--log", "FILE", &S::log_file,
                "one line per exchange: time, client id, request type, result, bytes, milliseconds, "
                "address; '-' is standard error, 'none' turns it off"),
        Text<S>("--faults", "FILE", &S::fault_file,
                "fault injection control file, read for every connection (see README)"),
        Text<S>("--ready-file", "FILE", &S::ready_file, "write the listening port into FILE once ready"),
        Text<S>("--make-sample", "DIR", &S::make_sample, "write a sample content directory into DIR and exit"),
        SO{"", "", "", ""},
        Ranged<S>("--max-per-address", "N", &S::max_per_address, 1, 100000, "expects a number 1 to 100000",
                  "exchanges at once from one address; more are told busy"),
        Ranged<S>("--donations-per-hour", "N", &S::donations_per_hour, 1, 1000000, "expects a number 1 to 1000000",
                  "donations one address may begin in any hour; more are told busy"),
        Ranged<S>("--donation-quota", "BYTES", &S::donation_quota_bytes, 0, INT64_MAX,
                "expects a number, 0 for no quota", "total size of waiting donations"),
        Ranged<S>("--donation-files", "N", &S::donation_quota_files, 0, INT64_MAX, "expects a number, 0 for no quota",
                "number of waiting donations"),
        Ranged<S>("--comment-quota", "BYTES", &S::comment_quota_bytes, 0, INT64_MAX,
                "expects a number, 0 for no quota", "total size of kept comments"),
        Ranged<S>("--comment-files", "N", &S::comment_quota_files, 0, INT64_MAX, "expects a number, 0 for no quota",
                "number of kept comments"),
        SO{"", "", "", ""},
        SO{"--proxy-from", "ADDRESSES", "addresses (comma-separated, or the option repeated) of proxies "
           "allowed to open a connection with a PROXY protocol header (v1 or v2) naming the real client; "
           "from any other address such a header closes the connection (default: none)",
           "expects IP addresses separated by commas"},
        Text<S>("--instance-name", "NAME", &S::instance_name,
                "this instance's name in CONTENT/.stats/NAME.counters (default HOSTNAME-PORT)", false),
        SO{"--drain-timeout", "SECONDS", "on SIGTERM, how long exchanges in flight may take to finish "
           "before they are cut", "expects seconds above 0, at most 86400"},
        SO{"--lame-duck", "SECONDS", "on SIGTERM, go on serving for this long first, but answer the "
           "health checks of a --proxy-from proxy 'unavailable' (4), so that it takes this instance out "
           "of its rotation before the instance stops accepting; 0 stops accepting at once",
           "expects seconds 0 to 86400"},
        SO{"--sweep-interval", "SECONDS", "how often leftovers of killed instances are looked for in "
           "the .incoming folders", "expects seconds above 0, at most 86400"},
    };
    for (SO& o : t) {
      if (std::strcmp(o.name, "--idle-timeout") == 0) o.seconds = &S::idle_timeout_seconds;
      if (std::strcmp(o.name, "--drain-timeout") == 0) o.seconds = &S::drain_timeout_seconds;
      if (std::strcmp(o.name, "--sweep-interval") == 0) o.seconds = &S::sweep_interval_seconds;
      if (std::strcmp(o.name, "--lame-duck") == 0) {
        o.seconds = &S::lame_duck_seconds;
        o.zero_ok = true;
      }
      if (std::strcmp(o.name, "--proxy-from") == 0) {
        o.addresses = &S::proxy_from;
        o.show_default = false;
      }
    }
    return t;
  }();
  return table;
}

using A = AdminOptions;
using AO = Option<A>;

const std::vector<AO>& AdminTable() {
  static const std::vector<AO> table = {
      Ranged<A>("--port", "N", &A::port, 0, 65535, "expects a port number 0 to 65535",
                "HTTP port; 0 picks a free one"),
      Text<A>("--bind", "ADDRESS", &A::bind_address, "address to listen on"),
      Text<A>("--content", "DIR", &A::content_dir, "the server's content directory"),
      Text<A>("--passwords", "FILE", &A::password_file, "operator names and password hashes (required)"),
      Text<A>("--audit", "FILE", &A::audit_log,
              "where logins, accepts, rejects and added categories are recorded (default DIR/audit.log)"),
      Ranged<A>("--threads", "N", &A::threads, 1, 64, "expects a number 1 to 64", "request threads"),
      Text<A>("--ready-file", "FILE", &A::ready_file, "write the listening port into FILE once ready"),
      Text<A>("--set-password", "FILE", &A::set_password,
              "read a password from standard input, store its hash for --user NAME in FILE, and exit"),
      Text<A>("--user", "NAME", &A::user, "the operator name --set-password writes"),
  };
  return table;
}

} // namespace

std::string ServerUsage() {
  static const char* const sections[] = {
      "\nLimits for a public server (a quota of 0 is no quota; a full quota is\n"
      "answered 5 with error number 122):\n",
      "\nSeveral instances over one shared content directory, behind a proxy:\n",
  };
  return "Usage: velmor-server [options]\n"
         "       velmor-server --make-sample DIR\n"
         "\n"
         "The reference Velmor content server: quotes, pictures, sounds, news and tips\n"
         "for Velmor clients, and a home for their donations, categories and comments.\n"
         "\n"
         "Options:\n" +
         OptionHelp(ServerTable(), sections) +
         "  --help                 show this text\n"
         "\n"
         "SIGINT or SIGTERM stops the server: after --lame-duck, if set, it stops\n"
         "accepting, lets the exchanges in flight finish (up to --drain-timeout), then\n"
         "exits 0. A second signal cuts the --lame-duck time short.\n";
}

bool ParseServerOptions(int argc, const char* const* argv, ServerOptions* options, std::string* error) {
  return ParseWithTable(ServerTable(), argc, argv, options, error);
}

std::string AdminUsage() {
  return "Usage: velmor-admin --content DIR --passwords FILE [options]\n"
         "       velmor-admin --set-password FILE [--user NAME]   (password read from standard input)\n"
         "\n"
         "The moderation page of a Velmor server: look at donations and accept or\n"
         "reject them, read comments, add categories, and see how busy the server is.\n"
         "\n"
         "Options:\n" +
         OptionHelp(AdminTable(), nullptr) + "  --help                 show this text\n";
}

bool ParseAdminOptions(int argc, const char* const* argv, AdminOptions* options, std::string* error) {
  return ParseWithTable(AdminTable(), argc, argv, options, error);
}
