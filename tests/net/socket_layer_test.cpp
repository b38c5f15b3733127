// The socket layer under Wine: loading the library, resolving, connecting,
// and the waits with their time-outs, cancels and quits, against raw
// loopback peers whose timing the tests control.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/globals.h"
#include "app/status.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "base/guarded.h"
#include "net/request_protocol.h"
#include "net/socket_layer.h"
#include "tests/support/raw_peer_win.h"
#include "tests/support/win_harness.h"
#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

// Bounds on the duration of a wait that should end early (a refusal, a
// cancel, a quit, a peer that closes): far less than the 120-second
// time-out that a broken wait would sit out, and far more than a loaded
// machine needs.
constexpr double FarBelowTheTimeOut = 30.0;
// For a wait that should end at a short time-out of a second or two: room
// for a loaded machine, and still far less than the default time-out that a
// wait ignoring the short one would sit out.
constexpr double SoonAfterAShortTimeOut = 20.0;

std::string Int32(int v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<unsigned>(v) >> (8 * i)) & 0xFF);
  return s;
}

void PressCancelTransfer() {
  PostMessageA(TransferMessageWindow(), WM_COMMAND, CancelTransferButtonId, 0);
}

class SocketLayerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTransferMessageClass(); }
  void SetUp() override {
    BeginTransportTest("socket-layer", "1234567");
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    EndTransportTest();
    EXPECT_EQ(GuardedOutstanding(), outstanding_);
  }
  void UsePort(int port) { std::snprintf(ServerPort, sizeof ServerPort, "%d", port); }

  long outstanding_ = 0;
};

TEST_F(SocketLayerTest, LibraryFailuresAreReported) {
  MessageBoxRecorder boxes;
  UnloadSocketLibrary();
  SetSocketLibraryNameForTesting("velmor-no-such-library");
  LoadSocketLibrary();
  ASSERT_EQ(boxes.Texts(), (std::vector<std::string>{"Could not load TCPIP support. Error: 126",
                                                      "Velmor will not function without TCPIP support."}));
  EXPECT_TRUE(LogHas("Could not load TCPIP support. Error: 126"));
  EXPECT_FALSE(SocketLibraryUsable());
  // Nothing to connect with: the connection fails instead of calling nothing.
  EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -2);
  EXPECT_TRUE(LogHas("Error opening socket error: -2"));

  // A library without any of the entry points: 14 missing, no start-up.
  SetSocketLibraryNameForTesting("kernel32");
  LoadSocketLibrary();
  ASSERT_EQ(boxes.Texts().size(), 4u);
  EXPECT_EQ(boxes.Texts()[2], "Could not load TCPIP/SOCKET support. Error: 14");
  EXPECT_EQ(boxes.Texts()[3], "Velmor will not function without TCPIP/SOCKET support.");
  EXPECT_TRUE(LogHas("Could not load TCPIP/SOCKET support. Error: 14"));
  UnloadSocketLibrary();

  SetSocketLibraryNameForTesting(nullptr);
  LoadSocketLibrary();
  EXPECT_EQ(boxes.Texts().size(), 4u);
  EXPECT_TRUE(SocketLibraryUsable());
}

TEST_F(SocketLayerTest, PlimSwitchReloadsBeforeEveryConnection) {
  MessageBoxRecorder boxes;
  for (const char* value : {"No", "n", ""}) {
    RawPeer peer({RawPeer::Hold()});
    UsePort(peer.Port());
    std::snprintf(PlimSwitch, sizeof PlimSwitch, "%s", value);
    // The name only matters when the library is loaded again.
    SetSocketLibraryNameForTesting("velmor-no-such-library");
    Socket s = OpenServerConnection(ConfiguredServer());
    EXPECT_GE(s, 0) << value;
    CloseServerConnection(s);
    EXPECT_TRUE(boxes.Texts().empty()) << value;
  }
  for (const char* value : {"Yes", "yes", "y"}) {
    SetSocketLibraryNameForTesting("velmor-no-such-library");
    std::snprintf(PlimSwitch, sizeof PlimSwitch, "%s", value);
    size_t before = boxes.Texts().size();
    EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -2) << value;
    EXPECT_EQ(boxes.Texts().size(), before + 2) << value;
    // And with the real library it reloads and connects.
    SetSocketLibraryNameForTesting(nullptr);
    RawPeer peer({RawPeer::Hold()});
    UsePort(peer.Port());
    Socket s = OpenServerConnection(ConfiguredServer());
    EXPECT_GE(s, 0) << value;
    CloseServerConnection(s);
  }
}

TEST_F(SocketLayerTest, ResolvingTheServer) {
  unsigned char a[4] = {};
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "127.0.0.1");
  ASSERT_EQ(ResolveServer(ServerHost, a), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a), 4), std::string("\x7f\0\0\x01", 4));
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "localhost");
  std::memset(a, 0, 4);
  ASSERT_EQ(ResolveServer(ServerHost, a), 0);
  EXPECT_EQ(a[0], 127);

  std::snprintf(ServerHost, sizeof ServerHost, "%s", "10.0.1");
  EXPECT_EQ(ResolveServer(ServerHost, a), -1);
  EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -1);
  EXPECT_TRUE(LogHas("Can't resolve address:  10.0.1"));
  EXPECT_FALSE(LogHas("VelmorW-Gethostbyname failed")); // no lookup for a dotted value

  std::snprintf(ServerHost, sizeof ServerHost, "%s", "no-such-host.invalid");
  EXPECT_EQ(ResolveServer(ServerHost, a), -1);
  EXPECT_TRUE(LogHas("Gethostbyname failed"));
  EXPECT_EQ(LookupInProgress, 0);
}

// A resolver that never answers: the wait for it ends with the transfer
// time-out (a scheduled fetch has nothing else to end it), with the user's
// cancel, or with the quit; an answer that comes later is dropped.
TEST_F(SocketLayerTest, SilentResolverTimesOut) {
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "velmor-silent.test");
  SilentResolver silent;
  TransferTimeout = 2;
  // Without the time-out the lookup would wait for ever: this ends it as the
  // pop-up's cancel would, so that the test fails instead of hanging.
  DelayedAction rescue(60000, [] { LookupInProgress = 0; });
  double start = Seconds();
  EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -1);
  double took = Seconds() - start;
  EXPECT_FALSE(rescue.Fired());
  EXPECT_EQ(silent.Started(), 1);
  // More than the time-out's two seconds, and far less than the rescue.
  EXPECT_GT(took, 2.0);
  EXPECT_LT(took, SoonAfterAShortTimeOut);
  EXPECT_EQ(LogCount("VelmorW-Connection timeout."), 1);
  EXPECT_EQ(LogCount("VelmorW-Gethostbyname failed"), 1);
  EXPECT_TRUE(LogHas("Can't resolve address:  velmor-silent.test"));
  EXPECT_EQ(LookupInProgress, 0);
  silent.LateAnswer();
  EXPECT_EQ(LogCount("VelmorW-Gethostbyname failed"), 1);
}

TEST_F(SocketLayerTest, SilentLookupIsCancelledFromTheTransferMessage) {
  unsigned char a[4];
  {
    std::snprintf(ServerHost, sizeof ServerHost, "%s", "velmor-silent.test");
    SilentResolver silent;
    ShowTransferMessage("Please Wait. Connecting to server.", nullptr);
    DelayedAction cancel(300, PressCancelTransfer);
    double start = Seconds();
    EXPECT_EQ(ResolveServer(ServerHost, a), -1);
    EXPECT_LT(Seconds() - start, FarBelowTheTimeOut);
    EXPECT_TRUE(cancel.Fired());
    EXPECT_EQ(silent.Started(), 1);
    EXPECT_EQ(LogCount("VelmorW-Gethostbyname failed"), 1);
    EXPECT_FALSE(LogHas("VelmorW-Connection timeout."));
    EXPECT_EQ(CancelTransfer, 0);  // a cancelled lookup is not a cancelled transfer
    EXPECT_EQ(LookupInProgress, 0);
  }
  // The next lookup, through the real resolver, works again.
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "localhost");
  EXPECT_EQ(ResolveServer(ServerHost, a), 0);
  EXPECT_EQ(a[0], 127);
}

// Abandoned lookups are cancelled, so their slots come free: more of them
// than the eight slots still each start a lookup.
TEST_F(SocketLayerTest, AbandonedLookupsGiveBackTheirSlots) {
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "velmor-silent.test");
  SilentResolver silent;
  unsigned char a[4];
  for (int i = 0; i < 10; ++i) {
    DelayedAction cancel(100, [] { LookupInProgress = 0; });
    EXPECT_EQ(ResolveServer(ServerHost, a), -1) << i;
    EXPECT_TRUE(cancel.Fired()) << i;
  }
  EXPECT_EQ(silent.Started(), 10);
  EXPECT_EQ(silent.Cancelled(), 10);
}

TEST_F(SocketLayerTest, QuitDuringASilentLookup) {
  std::snprintf(ServerHost, sizeof ServerHost, "%s", "velmor-silent.test");
  SilentResolver silent;
  DelayedAction quit(300, [] { PostQuitMessage(7); });
  double start = Seconds();
  EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -1);
  EXPECT_LT(Seconds() - start, FarBelowTheTimeOut);
  EXPECT_TRUE(quit.Fired());
  EXPECT_EQ(Quitting, 1);
  EXPECT_FALSE(LogHas("VelmorW-Connection timeout."));
  // The quit is still there for the main loop, with its code.
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(SocketLayerTest, RefusedConnectionFailsAtOnce) {
  UsePort(ClosedPort());
  double start = Seconds();
  EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -3);
  EXPECT_LT(Seconds() - start, FarBelowTheTimeOut);
  EXPECT_TRUE(LogHas("VelmorW-Error trying to connect: 10061"));
  EXPECT_TRUE(LogHas("Error on Connect error: -3"));
}

TEST_F(SocketLayerTest, CancelWhileConnecting) {
  PendingListener pending;
  UsePort(pending.Port());
  MessageBoxRecorder boxes;
  ShowTransferMessage("Please Wait. Connecting to server.", nullptr);
  DelayedAction cancel(300, PressCancelTransfer);
  double start = Seconds();
  EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -3);
  EXPECT_LT(Seconds() - start, FarBelowTheTimeOut);
  EXPECT_TRUE(cancel.Fired());
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], "Connection cancelled");
  EXPECT_TRUE(LogHas("Connection cancelled error: -3"));
  EXPECT_FALSE(LogHas("Error on Connect error: -3"));
}

TEST_F(SocketLayerTest, ConnectTimesOut) {
  PendingListener pending;
  UsePort(pending.Port());
  TransferTimeout = 1;
  double start = Seconds();
  EXPECT_EQ(OpenServerConnection(ConfiguredServer()), -3);
  double took = Seconds() - start;
  EXPECT_GE(took, 1.0);
  EXPECT_LT(took, SoonAfterAShortTimeOut);
  EXPECT_TRUE(LogHas("VelmorW-Connection timeout."));
  EXPECT_TRUE(LogHas("Error on Connect error: -3"));
}

TEST_F(SocketLayerTest, SilentServerTimesOut) {
  RawPeer peer({RawPeer::Read(90), RawPeer::Hold()});
  UsePort(peer.Port());
  TransferTimeout = 1;
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  r.code = 13;
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  double start = Seconds();
  EXPECT_EQ(ReceiveResponse(s, &r), TransferResult::TimedOut);
  double took = Seconds() - start;
  EXPECT_EQ(r.code, 7);
  EXPECT_GE(took, 1.0);
  EXPECT_LT(took, SoonAfterAShortTimeOut);
  EXPECT_TRUE(LogHas("VelmorW-Connection timeout."));
  CloseServerConnection(s);
}

TEST_F(SocketLayerTest, SlowSteadyServerNeverTimesOut) {
  // 90 bytes in 9 pieces 600 ms apart: far longer than the time-out in all,
  // but never that long without a byte (the time-out leaves a loaded
  // machine more than two seconds of room on each piece).
  std::string response = WireRecord(0, 11, 22);
  std::vector<RawPeer::Step> script = {RawPeer::Read(90)};
  for (int i = 0; i < 9; ++i) {
    script.push_back(RawPeer::Pause(600));
    script.push_back(RawPeer::Send(response.substr(static_cast<size_t>(i) * 10, 10)));
  }
  script.push_back(RawPeer::Hold());
  RawPeer peer(script);
  UsePort(peer.Port());
  TransferTimeout = 3;
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  r.code = 11;
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  double start = Seconds();
  ASSERT_EQ(ReceiveResponse(s, &r), TransferResult::Ok);
  EXPECT_GT(Seconds() - start, 4.0);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.num1, 11);
  EXPECT_EQ(r.num2, 22);
  CloseServerConnection(s);
}

TEST_F(SocketLayerTest, PeerThatClosesFailsAtOnce) {
  RawPeer peer({RawPeer::Read(90), RawPeer::Send(WireRecord(0, 0, 0).substr(0, 30)), RawPeer::Close()});
  UsePort(peer.Port());
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  r.code = 1;
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  double start = Seconds();
  EXPECT_EQ(ReceiveResponse(s, &r), TransferResult::PeerClosed);
  EXPECT_LT(Seconds() - start, FarBelowTheTimeOut);
  EXPECT_TRUE(LogHas("VelmorW-Connection closed by server."));
  CloseServerConnection(s);
}

TEST_F(SocketLayerTest, QuitDuringAWait) {
  RawPeer peer({RawPeer::Read(90), RawPeer::Hold()});
  UsePort(peer.Port());
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  r.code = 8;
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  // The usual quit, addressed to no window, while the response is awaited.
  DelayedAction quit(300, [] { PostQuitMessage(7); });
  double start = Seconds();
  EXPECT_EQ(ReceiveResponse(s, &r), TransferResult::Quit);
  EXPECT_LT(Seconds() - start, FarBelowTheTimeOut);
  EXPECT_EQ(Quitting, 1);
  EXPECT_EQ(CancelTransfer, 0); // the normal instance
  HWND message = TransferMessageWindow();
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(StaticTextOf(message), "Quitting");
  // Every further send and receive fails at once.
  EXPECT_EQ(SendAll(s, "x", 1, 0), TransferResult::Quit);
  char b;
  EXPECT_EQ(ReceiveAll(s, &b, 1, 0), TransferResult::Quit);
  EXPECT_EQ(SendRequest(s, &r), TransferResult::Quit);
  // The quit is still there for the main loop, with its code.
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  CloseServerConnection(s);
}

TEST_F(SocketLayerTest, QuitToTheMainWindowIsPostedBackThreeTimes) {
  TestMainWindow main;
  RawPeer peer({RawPeer::Read(90), RawPeer::Hold()});
  UsePort(peer.Port());
  Shell.TransferInstance = true;
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  DelayedAction quit(200, [&] { PostMessageA(main.Handle(), WM_QUIT, 0, 0); });
  // In the transfer instance a quit also cancels: the receive ends as
  // cancelled.
  EXPECT_EQ(ReceiveResponse(s, &r), TransferResult::Cancelled);
  Shell.TransferInstance = false;
  EXPECT_EQ(Quitting, 1);
  EXPECT_EQ(CancelTransfer, 1);
  EXPECT_EQ(SendRequest(s, &r), TransferResult::Quit);
  // Further waits meet the quits again: each goes back as it was, and no
  // more of them are made.
  char b;
  for (int i = 0; i < 3; ++i) {
    Sleep(10); // past the pump's spacing, so that the receive pumps
    EXPECT_EQ(ReceiveAll(s, &b, 1, 0), TransferResult::Quit);
  }
  int quits = 0;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    EXPECT_EQ(msg.hwnd, main.Handle());
    ++quits;
  }
  EXPECT_EQ(quits, 3);
  CloseServerConnection(s);
}

TEST_F(SocketLayerTest, CancelDuringABlock) {
  std::string header = WireRecord(0, 4096, 100000);
  RawPeer peer({RawPeer::Read(90), RawPeer::Send(header + std::string(8192, 'b')), RawPeer::Hold()});
  UsePort(peer.Port());
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  ShowTransferMessage("Please Wait. Connecting to server.", nullptr);
  DelayedAction cancel(400, PressCancelTransfer);
  int status = -1;
  double start = Seconds();
  EXPECT_EQ(BlockRecvMemory(s, &status, nullptr), nullptr);
  EXPECT_EQ(status, 11);
  EXPECT_LT(Seconds() - start, FarBelowTheTimeOut);
  CloseServerConnection(s);
}

TEST_F(SocketLayerTest, RequestAndBlockBytesOnTheWire) {
  // The header announces 4,096-byte chunks; the bytes go in larger pieces.
  constexpr int size = 2 * 65536 + 1808;
  RawPeer peer({RawPeer::Read(90 + 90 + size), RawPeer::Hold()});
  UsePort(peer.Port());
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  r.code = 10;
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  std::string data(size, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 13);
  static std::vector<int> done;
  done.clear();
  EXPECT_EQ(BlockSendData(s, data.data(), size, [](int d, int) { done.push_back(d); }), 0);
  EXPECT_EQ(done, (std::vector<int>{65536, 131072, size}));
  PumpUntil([&] { return peer.Received().size() >= 90 + 90 + size; }, 30000);
  std::string id = std::string("1234567") + std::string(13, '\0');
  std::string text(50, '\0');
  std::string expected = id + Int32(7) + Int32(3) + Int32(10) + Int32(0) + Int32(0) + text;
  expected += id + Int32(7) + Int32(3) + Int32(0) + Int32(4096) + Int32(size) + text + data;
  EXPECT_EQ(peer.Received(), expected);
  CloseServerConnection(s);
}

TEST_F(SocketLayerTest, StatusRecordsOnTheWire) {
  RawPeer peer({RawPeer::Read(180), RawPeer::Hold()});
  UsePort(peer.Port());
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  EXPECT_EQ(BlockSendData(s, "", 0, nullptr), 4);
  std::string missing = std::string(DataDirectory) + "not-there.bin";
  EXPECT_GT(BlockSendFile(s, missing.c_str(), nullptr), 0);
  PumpUntil([&] { return peer.Received().size() >= 180; }, 30000);
  std::string id = std::string("1234567") + std::string(13, '\0');
  std::string rest = Int32(0) + Int32(0) + std::string(50, '\0');
  EXPECT_EQ(peer.Received(), id + Int32(7) + Int32(3) + Int32(4) + rest + id + Int32(7) + Int32(3) + Int32(5) + rest);
  CloseServerConnection(s);
}

}  // namespace
