// The ping's five outcomes over an in-memory server: what the dialog sees
// (transfer message and boxes, in order, all owned by it) and the log.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "interact/ping.h"
#include "net/transport.h"
#include "tests/interact/dialog_shell_stub.h"
#include "tests/net/fake_transport.h"
#include "tests/stubs/stubs.h"

namespace {

WindowRef const Dialog = reinterpret_cast<WindowRef>(0x99);

TEST(Ping, FiveOutcomes) {
  const std::string opened = "open Connecting to server.";
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::string> events;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"no connection", [] { Peer().openResult = -1; },
       {opened, "close",
        "box Ping failed. Unable to make connection to server. Check the address and port and try again later."},
       "Ping failed."},
      {"send fails", [] { Peer().failSendsFrom = 0; },
       {opened, "close", "box Ping failed. Unable to send request to server. Please try again later."},
       "Ping failed"},
      {"no answer", [] { Peer().incoming = ""; },
       {opened, "close", "box Ping receive failed. Please try again later."}, "Ping failed"},
      {"answered", [] { Peer().incoming = RecordBytes(0, 0, 0); },
       {opened, "close", "box The Velmor Server responded successfully to your ping."}, ""},
      {"busy", [] { Peer().incoming = RecordBytes(3, 0, 0); },
       {opened, "close", "box The Velmor server you're attached to is busy.",
        "box But since you were trying to ping, it was aware enough to say it was busy, so I guess the ping worked."},
       ""},
      {"code 1", [] { Peer().incoming = RecordBytes(1, 0, 0); }, {opened, "close"}, "Error from server  error: 1"},
      {"code 12", [] { Peer().incoming = RecordBytes(12, 0, 0); }, {opened, "close"}, "Error from server  error: 12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetPeer();
    ActivityLines().clear();
    DialogEvents().clear();
    c.arrange();
    PingServer(Dialog);
    std::vector<std::string> events;
    for (const auto& e : DialogEvents()) {
      events.push_back(e.what);
      EXPECT_EQ(e.owner, Dialog);
    }
    EXPECT_EQ(events, c.events);
    const std::string last = ActivityLines().empty() ? "" : ActivityLines().back();
    EXPECT_EQ(last.empty() ? "" : last.substr(last.find("-\t") + 2), c.line);
    EXPECT_EQ(Peer().closes, Peer().opens);
    if (!Peer().sends.empty()) {
      EXPECT_EQ(Peer().sends[0].substr(28, 4), std::string("\x0b\0\0\0", 4));
    }
  }
}

}  // namespace
