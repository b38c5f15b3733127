// Dotted addresses are read by hand; anything else is a host name.
#include <gtest/gtest.h>

#include "net/server_address.h"

namespace {

struct Case {
  const char* text;
  ServerAddressKind kind;
  unsigned char bytes[4];
};

TEST(ServerAddress, DottedHostNameOrUnresolvable) {
  const Case cases[] = {
      {"127.0.0.1", ServerAddressKind::Dotted, {127, 0, 0, 1}},
      {"10.20.30.40", ServerAddressKind::Dotted, {10, 20, 30, 40}},
      {"192.168..7", ServerAddressKind::Dotted, {192, 168, 0, 7}},   // empty part reads 0
      {"1.2.3.4.5", ServerAddressKind::Dotted, {1, 2, 3, 4}},        // split at the first three dots
      {"255.255.255.255", ServerAddressKind::Dotted, {255, 255, 255, 255}},
      {"...", ServerAddressKind::Dotted, {0, 0, 0, 0}},
      {"localhost", ServerAddressKind::HostName, {}},
      {" 10.0.0.1", ServerAddressKind::HostName, {}},               // a space is no digit
      {"10.0.0.1 ", ServerAddressKind::HostName, {}},
      {"10.0.0.1a", ServerAddressKind::HostName, {}},
      {"10.0.1", ServerAddressKind::Unresolvable, {}},
      {"10", ServerAddressKind::Unresolvable, {}},
      {"", ServerAddressKind::Unresolvable, {}},
      {"10.0.0.256", ServerAddressKind::Unresolvable, {}},           // would wrap to another host
      {"1.2.99999999999999999999.4", ServerAddressKind::Unresolvable, {}},
  };
  for (const Case& c : cases) {
    unsigned char out[4] = {9, 9, 9, 9};
    EXPECT_EQ(ParseServerAddress(c.text, out), c.kind) << c.text;
    if (c.kind == ServerAddressKind::Dotted) {
      for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], c.bytes[i]) << c.text << " byte " << i;
    }
  }
}

}  // namespace

// The port is read leniently, but never wraps into another port.
TEST(ServerAddress, PortNumberOrNone) {
  const struct {
    const char* text;
    int port;
  } cases[] = {
      {"1123", 1123}, {" 1123", 1123}, {"+80", 80}, {"1123abc", 1123}, {"65535", 65535}, {"1", 1},
      {"0", 0},       {"65536", 0},    {"70000", 0}, {"-1123", 0},      {"abc", 0},      {"", 0},
      {"4294968419", 0},  // 2^32 + 1123: would wrap to 1123 in 32 bits
      {"99999999999999999999", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ServerPortNumber(c.text), c.port) << c.text;
  EXPECT_EQ(ServerPortNumber(nullptr), 0);
}
