#include "net/server_address.h"

#include "base/text.h"
#include "config/basic_settings.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the leading digits of a part that ends at `end` (a dot or the NUL).
// Returns false for a value above 255: such an address would otherwise wrap
// into another host's address without a word.
bool ReadPart(const char* p, unsigned char* out) {
  unsigned value = 0;
  for (; IsDigit(*p); ++p) {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > 255) return false;
  }
  *out = static_cast<unsigned char>(value);
  return true;
}

}  // namespace

ServerAddressKind ParseServerAddress(const char* text, unsigned char out[4]) {
  for (const char* p = text; *p; ++p) {
    if (!IsDigit(*p) && *p != '.') return ServerAddressKind::HostName;
  }
  const char* part = text;
  for (int i = 0; i < 4; ++i) {
    if (!ReadPart(part, &out[i])) return ServerAddressKind::Unresolvable;
    if (i == 3) break;
    const char* dot = part;
    while (*dot && *dot != '.') ++dot;
    if (!*dot) return ServerAddressKind::Unresolvable;
    part = dot + 1;
  }
  return ServerAddressKind::Dotted;
}

int ServerPortNumber(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!IsDigit(*p)) return 0;
  long value = 0;
  for (; IsDigit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > 65535) return 0;
  }
  return negative || value < 1 ? 0 : static_cast<int>(value);
}

ServerAddress ConfiguredServer() { return ServerAddress{ServerHost, ServerPort, IsYes(PlimSwitch)}; }
