// Instances behind a proxy and beside each other over one content folder:
// PROXY headers, draining on SIGTERM (after a lame-duck time), two
// processes writing one folder, and leftovers of a killed instance.
#include "server_fixture.h"

#include "server/donation_store.h"
#include "server/proxy_header.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace {

ProxyHeader Parse(const std::string& bytes) {
  return ParseProxyHeader(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string V2(unsigned char command, unsigned char family, const std::string& addresses) {
  std::string h("\r\n\r\n\0\r\nQUIT\n", 12);
  h += static_cast<char>(0x20 | command);
  h += static_cast<char>(family);
  h += static_cast<char>(addresses.size() >> 8);
  h += static_cast<char>(addresses.size() & 0xFF);
  return h + addresses;
}

// 203.0.113.7:4000 -> 127.0.0.1:1123
const std::string V2Tcp4 = V2(1, 0x11, std::string("\xCB\x00\x71\x07\x7F\x00\x00\x01\x0F\xA0\x04\x63", 12));

TEST(ProxyHeaderTest, GoodHeadersNameTheClientBadOnesAreRefused) {
  ProxyHeader h = Parse("PROXY TCP4 203.0.113.7 127.0.0.1 4000 1123\r\nrest");
  EXPECT_EQ(ProxyHeaderKind::Header, h.kind);
  EXPECT_EQ(44u, h.length);
  EXPECT_EQ("203.0.113.7", h.address);
  h = Parse("PROXY TCP6 2001:db8::1 ::1 4000 1123\r\n");
  EXPECT_EQ("2001:db8::1", h.address);
  h = Parse("PROXY UNKNOWN\r\n");
  EXPECT_EQ(ProxyHeaderKind::Header, h.kind);
  EXPECT_EQ("", h.address);
  h = Parse(V2Tcp4 + "request");
  EXPECT_EQ(ProxyHeaderKind::Header, h.kind);
  EXPECT_EQ(28u, h.length);
  EXPECT_EQ("203.0.113.7", h.address);
  h = Parse(V2(0, 0x00, "")); // LOCAL: a health check of the proxy's own
  EXPECT_EQ(ProxyHeaderKind::Header, h.kind);
  EXPECT_EQ("", h.address);
  EXPECT_EQ(ProxyHeaderKind::None, Parse(RequestBytes(11, 0, 0)).kind);

  for (const std::string& bad : {std::string("PROXY TCP4 203.0.113.7 127.0.0.1 4000\r\n"),
                                 std::string("PROXY TCP4 203.0.113.999 127.0.0.1 4000 1123\r\n"),
                                 std::string("PROXY TCP4 203.0.113.7 127.0.0.1 4000 99999\r\n"),
                                 std::string("PROXY TCP4 203.0.113.7 127.0.0.1 40"),      // cut short
                                 std::string("PROXY ") + std::string(120, 'x') + "\r\n", // too long
                                 std::string("PRO"), V2Tcp4.substr(0, 20),
                                 V2(1, 0x11, "short"), V2(2, 0x11, std::string(12, '\0')),
                                 V2(1, 0x11, std::string(600, '\0'))}) {
    EXPECT_EQ(ProxyHeaderKind::Bad, Parse(bad).kind) << bad;
  }
}

class ProxyTest : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    StartWith([](ServerOptions& o) { o.proxy_from = {"127.0.0.1"}; });
  }
  // Sends bytes (in pieces, with a pause between) and returns all the
  // server sends before closing.
  std::string SendFrom(const char* from, const std::vector<std::string>& pieces) {
    TestConnection c;
    EXPECT_TRUE(c.Connect(port(), 10000, from));
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
      c.Send(pieces[i]);
    }
    return c.ReceiveToEnd();
  }
  bool StillServing() {
    return SendFrom("127.0.0.2", {RequestBytes(11, 0, 0)}) == ExpectedRecord(0, 0, 0);
  }
};

TEST_F(ProxyTest, TheListedProxyNamesTheClientForTheDonorRecordAndTheLog) {
  TestConnection c;
  ASSERT_TRUE(c.Connect(port(), 10000, "127.0.0.1"));
  ASSERT_TRUE(c.Send("PROXY TCP4 203.0.113.7 127.0.0.1 4000 1123\r\n" + RequestBytes(7, 0, 1, "proxied.txt")));
  std::string response;
  ASSERT_TRUE(c.ReceiveRaw(&response));
  ASSERT_EQ(ExpectedRecord(0, 0, 0), response);
  ASSERT_TRUE(c.Send(RequestBytes(0, 4096, 4) + "text"));
  EXPECT_TRUE(c.ClosedByPeer(5000));
  EXPECT_EQ("client 12345\naddress 203.0.113.7\n", ReadTextFile(content_ + "/donations/quote/0/.proxied.txt.meta"));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), SendFrom("127.0.0.1", {V2Tcp4 + RequestBytes(11, 0, 0)}));
  // A health check: v2 LOCAL, or no header at all.
  EXPECT_EQ(ExpectedRecord(0, 0, 0), SendFrom("127.0.0.1", {V2(0, 0, "") + RequestBytes(11, 0, 0)}));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), SendFrom("127.0.0.1", {RequestBytes(11, 0, 0)}));
  ASSERT_TRUE(WaitFor([&] { return ReadTextFile(log_).find("type=11/ping") != std::string::npos; }));
  std::string log = ReadTextFile(log_);
  EXPECT_NE(std::string::npos, log.find("type=7/donate result=0")) << log;
  EXPECT_NE(std::string::npos, log.find("from=203.0.113.7 \"receiving; stored 4 bytes")) << log;
}

TEST_F(ProxyTest, BadHeadersCloseOnlyTheirConnectionWithoutAnAnswer) {
  const std::string ping = RequestBytes(11, 0, 0);
  const std::vector<std::vector<std::string>> bad = {
      {"PROXY TCP4 203.0.113.7 127.0.0.1 4000\r\n" + ping},                     // malformed
      {"PROXY TCP4 " + std::string(100, '1') + "\r\n" + ping},                  // too long
      {"PROXY TCP4 203.0.113.7 127.0", " 4000 1123\r\n" + ping},                // split across reads
      {V2Tcp4.substr(0, 14), V2Tcp4.substr(14) + ping},                          // split across reads
      {"PROXY TCP4 203.0.113.7 127.0.0.1 4000 1123\r\nPROXY TCP4 1.2.3.4 127.0.0.1 1 2\r\n" + ping}, // twice
  };
  for (const auto& pieces : bad) {
    EXPECT_EQ("", SendFrom("127.0.0.1", pieces)) << pieces[0];
    EXPECT_TRUE(StillServing());
  }
  // Whoever is not listed may send no header at all, good or bad.
  EXPECT_EQ("", SendFrom("127.0.0.2", {"PROXY TCP4 203.0.113.7 127.0.0.1 4000 1123\r\n" + ping}));
  EXPECT_EQ("", SendFrom("127.0.0.2", {V2Tcp4 + ping}));
  EXPECT_TRUE(StillServing());
  EXPECT_TRUE(FilesBelow(content_ + "/donations/quote").empty());
}

// A velmor-server process over content; stopped (SIGKILL) at the end
// unless the test waited for it.
class ServerProcess {
 public:
  ServerProcess(const std::string& content, const std::string& work, const std::string& name,
                std::vector<std::string> extra = {}) {
    ready_ = work + "/" + name + ".ready";
    std::vector<std::string> args = {"velmor-server", "--port", "0", "--content", content, "--ready-file", ready_,
                                     "--log", work + "/" + name + ".log", "--instance-name", name};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      ::execv(VELMOR_SERVER_PATH, argv.data());
      ::_exit(127);
    }
    if (WaitFor([&] { return !ReadTextFile(ready_).empty(); }, 10000)) {
      port_ = std::stoi(ReadTextFile(ready_));
    }
  }
  ~ServerProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // Waits up to a minute for the process to end; its exit status, or -1
  // (then it is killed at the end).
  int Wait() {
    int status = 0;
    pid_t done = 0;
    WaitFor([&] { return (done = ::waitpid(pid_, &status, WNOHANG)) != 0; }, 60000);
    if (done <= 0) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  std::string ready_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// Begins a donation: request sent, answer read. Returns the answer.
std::string BeginDonation(TestConnection* c, int port, const std::string& name) {
  EXPECT_TRUE(c->Connect(port));
  EXPECT_TRUE(c->Send(RequestBytes(7, 0, 1, name)));
  std::string response;
  c->ReceiveRaw(&response);
  return response;
}

class InstancesTest : public ServerFixture {};

TEST_F(InstancesTest, SigtermLetsExchangesInFlightFinishWithinTheDrainTime) {
  ServerProcess server(content_, dir_.path(), "one", {"--drain-timeout", "3"});
  ASSERT_GT(server.port(), 0);
  TestConnection finishing, stalled;
  ASSERT_EQ(ExpectedRecord(0, 0, 0), BeginDonation(&finishing, server.port(), "finished.txt"));
  ASSERT_EQ(ExpectedRecord(0, 0, 0), BeginDonation(&stalled, server.port(), "stalled.txt"));
  ASSERT_TRUE(finishing.Send(RequestBytes(0, 4096, 10) + "first"));
  ASSERT_TRUE(stalled.Send(RequestBytes(0, 4096, 10) + "first"));
  ::kill(server.pid(), SIGTERM);
  // No longer accepting, but the exchange in flight goes on.
  TestConnection late;
  EXPECT_TRUE(WaitFor([&] { return !late.Connect(server.port(), 1000); }));
  ASSERT_TRUE(finishing.Send("later"));
  EXPECT_TRUE(finishing.ClosedByPeer(5000));
  // The stalled one is cut when the drain time is over; then the process
  // ends well.
  EXPECT_EQ(0, server.Wait());
  EXPECT_EQ(std::vector<std::string>({".finished.txt.meta", "finished.txt"}),
            FilesBelow(content_ + "/donations/quote/0"));
  EXPECT_EQ("firstlater", ReadTextFile(content_ + "/donations/quote/0/finished.txt"));
  std::string counters = ReadTextFile(content_ + "/.stats/one.counters");
  EXPECT_NE(std::string::npos, counters.find("\nexchanges 2\nfailed 1\ncode7 2\n")) << counters;
}

// The whole answer to bytes sent to port from a loopback address.
std::string Ask(int port, const char* from, const std::string& bytes) {
  TestConnection c;
  if (!c.Connect(port, 5000, from) || !c.Send(bytes)) {
    return "";
  }
  return c.ReceiveToEnd();
}

// Behind a proxy, a stopping instance first has the proxy take it out of
// rotation: it fails the proxy's own health checks while it goes on serving
// every client, and only then stops accepting.
TEST_F(InstancesTest, LameDuckFailsOnlyTheProxysHealthChecksBeforeItStopsAccepting) {
  // Long enough for the exchanges below on a loaded machine.
  std::vector<std::string> behind = {"--proxy-from", "127.0.0.1", "--lame-duck", "3"};
  ServerProcess server(content_, dir_.path(), "one", behind);
  const int port = server.port();
  ASSERT_GT(port, 0);
  const std::string ping = RequestBytes(11, 0, 0);
  const std::string check = V2(0, 0, "") + ping; // HAProxy's, with send-proxy-v2
  const std::string up = ExpectedRecord(0, 0, 0), leaving = ExpectedRecord(4, 0, 0);
  EXPECT_EQ(up, Ask(port, "127.0.0.1", check));
  auto signalled = std::chrono::steady_clock::now();
  ::kill(server.pid(), SIGTERM);
  ASSERT_TRUE(WaitFor([&] { return Ask(port, "127.0.0.1", check) == leaving; }));
  EXPECT_EQ(leaving, Ask(port, "127.0.0.1", ping)); // a check sent without a header
  EXPECT_EQ(up, Ask(port, "127.0.0.1", V2Tcp4 + ping));
  EXPECT_EQ(up, Ask(port, "127.0.0.2", ping));
  std::string quote = Ask(port, "127.0.0.2", RequestBytes(1, 1, 0));
  EXPECT_EQ(up.substr(20, 12), quote.substr(20, 12)); // magics and code 0
  TestConnection late;
  EXPECT_TRUE(WaitFor([&] { return !late.Connect(port, 1000); }, 10000));
  EXPECT_GE(std::chrono::steady_clock::now() - signalled, std::chrono::milliseconds(3000));
  EXPECT_EQ(0, server.Wait());
  std::string log = ReadTextFile(dir_ / "one.log");
  EXPECT_NE(std::string::npos, log.find("health check while leaving: unavailable")) << log;

  // A second signal cuts a long lame-duck time short.
  behind[3] = "600";
  ServerProcess slow(content_, dir_.path(), "two", behind);
  ASSERT_GT(slow.port(), 0);
  ::kill(slow.pid(), SIGTERM);
  ASSERT_TRUE(WaitFor([&] { return Ask(slow.port(), "127.0.0.1", check) == leaving; }));
  ::kill(slow.pid(), SIGTERM);
  EXPECT_TRUE(WaitFor([&] { return !late.Connect(slow.port(), 1000); }, 10000));
  EXPECT_EQ(0, slow.Wait());
}

TEST_F(InstancesTest, TwoProcessesOverOneFolderListANameOnceAndKeepOneDonation) {
  ServerProcess a(content_, dir_.path(), "a"), b(content_, dir_.path(), "b");
  ASSERT_GT(a.port(), 0);
  ASSERT_GT(b.port(), 0);
  std::string before = ReadTextFile(content_ + "/categories/quote.txt");
  // Ten names, each added through both instances at once, four times over.
  std::vector<std::thread> adders;
  std::atomic<int> added{0};
  for (int t = 0; t < 8; ++t) {
    adders.emplace_back([&, t] {
      int port = t % 2 ? a.port() : b.port();
      for (int n = 0; n < 10; ++n) {
        TestConnection c;
        c.Connect(port);
        c.Send(RequestBytes(6, 1, 0, "Shared " + std::to_string(n)));
        if (c.ReceiveToEnd() == ExpectedRecord(0, 0, 0)) added++;
      }
    });
  }
  for (std::thread& t : adders) t.join();
  std::string after = ReadTextFile(content_ + "/categories/quote.txt");
  EXPECT_EQ(10, added.load());
  ASSERT_EQ(0u, after.compare(0, before.size(), before)); // positions unchanged
  for (int n = 0; n < 10; ++n) {
    std::string line = "\nShared " + std::to_string(n) + "\n";
    std::size_t at = after.find(line);
    EXPECT_NE(std::string::npos, at) << line;
    EXPECT_EQ(std::string::npos, after.find(line, at + 1)) << line;
  }

  // One name donated through both: the second is answered 10 while the
  // first is still arriving, and after it is stored.
  TestConnection first, second;
  ASSERT_EQ(ExpectedRecord(0, 0, 0), BeginDonation(&first, a.port(), "same.txt"));
  EXPECT_EQ(ExpectedRecord(10, 0, 0, "same.txt"), BeginDonation(&second, b.port(), "same.txt"));
  ASSERT_TRUE(first.Send(RequestBytes(0, 4096, 4) + "once"));
  EXPECT_TRUE(first.ClosedByPeer(5000));
  EXPECT_EQ(ExpectedRecord(10, 0, 0, "same.txt"), BeginDonation(&second, b.port(), "same.txt"));
  EXPECT_EQ(std::vector<std::string>({".same.txt.meta", "same.txt"}), FilesBelow(content_ + "/donations/quote/0"));
  // Both keep counters of their own, and neither takes them for content.
  EXPECT_TRUE(FileExists(content_ + "/.stats/a.counters"));
  EXPECT_TRUE(FileExists(content_ + "/.stats/b.counters"));
}

TEST(LeftoverTest, UploadsOfAKilledInstanceGoThoseOfALiveOneStay) {
  TempDir dir;
  WriteTestContent(dir / "content");
  std::string root = dir / "content";
  std::string error;
  DonationStore live(root);
  ASSERT_TRUE(live.Prepare(&error)) << error;
  DonationVerdict verdict;
  auto upload = live.BeginDonation(1, 0, 4, "live.txt", 8, DonorInfo{"1", "a"}, &verdict);
  ASSERT_TRUE(upload);

  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    DonationStore dying(root);
    DonationVerdict v;
    auto u = dying.BeginDonation(1, 0, 4, "killed.txt", 10, DonorInfo{"2", "b"}, &v);
    if (u) u->Write("partial", 7);
    ::kill(::getpid(), SIGKILL);
  }
  ::waitpid(child, nullptr, 0);
  ASSERT_EQ(2u, FilesBelow(root + "/donations/.incoming").size());
  // The name the killed instance held is refused until its leftover goes.
  DonationStore next(root);
  EXPECT_EQ(1, next.SweepLeftovers());
  EXPECT_EQ(1u, FilesBelow(root + "/donations/.incoming").size());
  auto again = next.BeginDonation(1, 0, 4, "killed.txt", 10, DonorInfo{"3", "c"}, &verdict);
  EXPECT_EQ(0, verdict.code);
  auto twice = next.BeginDonation(1, 0, 4, "live.txt", 8, DonorInfo{"3", "c"}, &verdict);
  EXPECT_EQ(10, verdict.code);
  ASSERT_TRUE(upload->Write("data", 4));
  EXPECT_EQ(0, upload->Commit());
  EXPECT_EQ("data", ReadTextFile(root + "/donations/quote/0/live.txt"));
}

} // namespace
