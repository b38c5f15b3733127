// Quotes, news and tips, and the block transfers, against the reference
// server under Wine: what the text pane shows, the activity lines, the files
// on both sides, and every fault the server can inject ending with its line
// within the time-outs, without leaks and without files anywhere but the
// data directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/globals.h"
#include "app/status.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "content/text_fetch.h"
#include "base/guarded.h"
#include "net/request_protocol.h"
#include "net/socket_layer.h"
#include "tests/support/reference_server_win.h"
#include "tests/support/test_files.h"
#include "tests/support/win_harness.h"
#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

const char* const QuoteFile = "Alpha line\nBeta line\n";
const char* const QuoteShown = "Alpha line\r\nBeta line";
const char* const NewsFile = "News one\nNews two\n";
const char* const NewsShown = "News one\r\nNews two\r\n";
const char* const TipsFile = "Tip one\r\nTip two\n";
const char* const TipsShown = "Tip one\r\nTip two\r\n";

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + static_cast<size_t>(seed) + i / 977) & 0xFF);
  return s;
}

ReferenceServer* server = nullptr;
std::string content;  // Unix path of the served content
std::string picture = Pattern(300000, 5);

std::string LastActivityLine() {
  // The last line of the log file, after its stamps.
  std::string log = LogText();
  if (log.size() < 2) return "";
  size_t end = log.size() - 2; // CR LF
  size_t start = log.rfind("\r\n", end - 1);
  std::string line = log.substr(start == std::string::npos ? 0 : start + 2, end - (start == std::string::npos ? 0 : start + 2));
  size_t tab = line.find("-\t");
  return tab == std::string::npos ? line : line.substr(tab + 2);
}

class ContentServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTransferMessageClass();
    content = FreshUnixDir("content-text");
    WriteUnixFile(content + "/categories/quote.txt", "Verse\nEmpty\n");
    WriteUnixFile(content + "/categories/picture.txt", "Patterns\n");
    WriteUnixFile(content + "/categories/sound.txt", "");
    WriteUnixFile(content + "/quotes/0.txt", QuoteFile);
    WriteUnixFile(content + "/quotes/1.txt", "");
    WriteUnixFile(content + "/pictures/0/pattern.bin", picture);
    WriteUnixFile(content + "/news.txt", NewsFile);
    WriteUnixFile(content + "/tips.txt", TipsFile);
    WriteUnixFile(content + "/status.txt", "Test server\n");
    server = new ReferenceServer(content);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server && server->Running()) << "the reference server did not start (is the release tree built?)";
    dir_ = BeginTransportTest("content-server", "4242");
    // The current directory is an empty folder too: nothing may land there.
    cwd_ = MakeTestDir("content-server-cwd");
    SetCurrentDirectoryA(cwd_.c_str());
    std::snprintf(ServerPort, sizeof ServerPort, "%d", server->Port());
    ConfigSet("SELECTQuote", "0", ConfigFileName);
    server->SetFaults("");
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    EndTransportTest();
    server->SetFaults("");
    EXPECT_EQ(GuardedOutstanding(), outstanding_) << "guarded block leaked";
    EXPECT_TRUE(ListFiles(cwd_).empty()) << "a file was written outside the data directory";
    for (const std::string& f : ListFiles(dir_)) {
      EXPECT_TRUE(f == "velmor.cfg" || f == "velmor.cfg.lock" || f == "VelmorW.log" || f == "import.bin")
          << "unexpected file " << f;
    }
  }

  std::string dir_, cwd_;
  long outstanding_ = 0;
};

TEST_F(ContentServerTest, QuoteNewsAndTips) {
  TestMainWindow main;
  EXPECT_EQ(QuoteUpdate(0), 1);
  EXPECT_EQ(main.PaneText(), QuoteShown);
  EXPECT_EQ(LastActivityLine(), "New Quote Available.");
  NewsFetch();
  EXPECT_EQ(main.PaneText(), NewsShown);
  EXPECT_EQ(LastActivityLine(), "News Available.");
  TipsFetch();
  EXPECT_EQ(main.PaneText(), TipsShown);
  EXPECT_EQ(LastActivityLine(), "Tips Available.");
  // The server saw the three requests from this client, with category 1.
  std::string log = server->Log();
  EXPECT_NE(log.find("client=4242 type=1/quote result=0"), std::string::npos) << log;
  EXPECT_NE(log.find("client=4242 type=8/news result=0"), std::string::npos) << log;
  EXPECT_NE(log.find("client=4242 type=9/tips result=0"), std::string::npos) << log;
}

TEST_F(ContentServerTest, EmptyCategoryAndNoSelection) {
  TestMainWindow main;
  ConfigSet("SELECTQuote", "1", ConfigFileName);
  EXPECT_EQ(QuoteUpdate(0), 0);
  EXPECT_EQ(LastActivityLine(), "Quote Category 2 is empty on the server.");
  ConfigSet("SELECTQuote", "", ConfigFileName);
  std::string before = LogText();
  EXPECT_EQ(QuoteUpdate(0), 0);
  EXPECT_EQ(LogText(), before); // no connection, no line
}

TEST_F(ContentServerTest, MemoryLimitBoundary) {
  TestMainWindow main;
  server->SetFaults("1 oversized-block 999999\n");
  EXPECT_EQ(QuoteUpdate(0), 1);
  EXPECT_EQ(LastActivityLine(), "New Quote Available.");
  server->SetFaults("1 oversized-block 1000000\n");
  SetDlgItemTextA(main.Handle(), IDC_MAIN_TEXTPANE, "previous");
  EXPECT_EQ(QuoteUpdate(0), 0);
  EXPECT_EQ(LastActivityLine(), "The Velmor server was unable to deliver the information you requested.");
  EXPECT_EQ(main.PaneText(), "previous");
}

struct FaultCase {
  const char* faults;
  int which; // 0 quote, 1 news, 2 tips
  const char* line;
  const char* pane; // nullptr: unchanged
  double maxSeconds;
};

TEST_F(ContentServerTest, EveryInjectedFaultEndsWithItsLine) {
  TestMainWindow main;
  // Faults that end at once must end before the time-out; the rest sit it
  // out (or drip slowly) and get room for a loaded machine.
  TransferTimeout = 4;
  const double AtOnce = TransferTimeout, Waits = 20;
  const char* quoteUndelivered = "The Velmor server was unable to deliver the information you requested.";
  const FaultCase cases[] = {
      {"* busy", 0, "The Velmor server you're attached to is busy.", nullptr, AtOnce},
      {"* busy", 1, "The Velmor server you're attached to is busy.", nullptr, AtOnce},
      {"* code 4", 0, "The Velmor server was unable to obtain the information you requested.", nullptr, AtOnce},
      {"* code 4", 1, "The news file on this Velmor server was unavailable.", nullptr, AtOnce},
      {"* code 4", 2, "The tips file on this Velmor server was unavailable.", nullptr, AtOnce},
      {"* code 2", 1, "Error from server  error: 2", nullptr, AtOnce},
      {"* code 12", 0, "Error from server  error: 12", nullptr, AtOnce},
      {"* code -3", 2, "Error from server  error: -3", nullptr, AtOnce},
      {"* no-answer", 0, "Error on recv error: -5", nullptr, Waits},
      {"* hang-up", 1, "Error on recv error: -5", nullptr, AtOnce},
      {"* empty-block", 0, "New Quote Available.", "", AtOnce},
      {"* empty-block", 2, "Tips Available.", "", AtOnce},
      {"* header-code 5", 0, quoteUndelivered, nullptr, AtOnce},
      {"* header-code 11", 1, "The Velmor server was unable to deliver the news file.", nullptr, AtOnce},
      {"* chunk-size 0", 0, quoteUndelivered, nullptr, AtOnce},
      {"* chunk-size -4096", 2, "The Velmor server was unable to deliver the tips file.", nullptr, AtOnce},
      {"* chunk-size 2147483647", 0, "New Quote Available.", QuoteShown, AtOnce},
      {"* total -1", 0, quoteUndelivered, nullptr, AtOnce},
      {"* total 2000000000", 0, quoteUndelivered, nullptr, Waits},
      {"* total 100000", 1, "The Velmor server was unable to deliver the news file.", nullptr, Waits},
      {"* cut", 0, quoteUndelivered, nullptr, AtOnce},
      {"* cut 3", 2, "The Velmor server was unable to deliver the tips file.", nullptr, AtOnce},
      {"* stall", 0, quoteUndelivered, nullptr, Waits},
      {"* stall 100", 1, "The Velmor server was unable to deliver the news file.", nullptr, Waits},
      {"* stall 40", 0, "Error on recv error: -5", nullptr, Waits},
      {"* drip 20 16", 0, "New Quote Available.", QuoteShown, Waits},
      {"* drip 5 1", 1, "News Available.", NewsShown, Waits},
      {"* oversized-block", 0, quoteUndelivered, nullptr, Waits},
  };
  for (const FaultCase& c : cases) {
    SetDlgItemTextA(main.Handle(), IDC_MAIN_TEXTPANE, "previous");
    server->SetFaults(std::string(c.faults) + "\n");
    long outstanding = GuardedOutstanding();
    double start = Seconds();
    if (c.which == 0) {
      QuoteUpdate(0);
    } else if (c.which == 1) {
      NewsFetch();
    } else {
      TipsFetch();
    }
    double took = Seconds() - start;
    std::string label = std::string(c.faults) + " / " + std::to_string(c.which);
    EXPECT_EQ(LastActivityLine(), c.line) << label;
    EXPECT_EQ(main.PaneText(), c.pane ? c.pane : "previous") << label;
    EXPECT_LT(took, c.maxSeconds) << label;
    EXPECT_EQ(GuardedOutstanding(), outstanding) << label;
  }
}

TEST_F(ContentServerTest, CancelDuringABlockFromTheTransferMessage) {
  TestMainWindow main;
  SetDlgItemTextA(main.Handle(), IDC_MAIN_TEXTPANE, "previous");
  // The response, the block header and 5 bytes of the quote come, then
  // nothing more. The cancel comes once a loaded machine has surely reached
  // the stall (a cancel while connecting would end with another line).
  server->SetFaults("1 stall 185\n");
  ShowTransferMessage("Please Wait. Connecting to server.", main.Handle());
  DelayedAction cancel(3000, [] { PostMessageA(TransferMessageWindow(), WM_COMMAND, CancelTransferButtonId, 0); });
  double start = Seconds();
  EXPECT_EQ(QuoteUpdate(0), 0);
  EXPECT_LT(Seconds() - start, 30.0);  // far below the 120-second time-out
  EXPECT_TRUE(cancel.Fired());
  EXPECT_EQ(LastActivityLine(), "Transfer Cancelled");
  EXPECT_EQ(main.PaneText(), "previous");
}

TEST_F(ContentServerTest, QuitDuringAWait) {
  TestMainWindow main;
  server->SetFaults("8 no-answer\n");
  DelayedAction quit(500, [] { PostQuitMessage(0); });
  double start = Seconds();
  NewsFetch();
  EXPECT_LT(Seconds() - start, 30.0);  // far below the 120-second time-out
  EXPECT_EQ(Quitting, 1);
  EXPECT_EQ(LastActivityLine(), "Error on recv error: -5");
  // Everything after fails at once, without a connection.
  start = Seconds();
  EXPECT_EQ(QuoteUpdate(0), 0);
  EXPECT_LT(Seconds() - start, 30.0);
  EXPECT_EQ(LastActivityLine(), "Error on send error: -4");
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

// The block operations themselves against the server: a picture into a file,
// a file and a comment to the server.
TEST_F(ContentServerTest, FileBlocksBothWays) {
  std::string target = dir_ + "import.bin";
  Socket s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  RequestRecord r = EmptyRecord();
  r.code = 2;
  r.num1 = 1;
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  ASSERT_EQ(ReceiveResponse(s, &r), TransferResult::Ok);
  ASSERT_EQ(r.code, 0);
  ASSERT_EQ(ReceiveResponse(s, &r), TransferResult::Ok); // the picture information record
  static int progressCalls = 0;
  progressCalls = 0;
  EXPECT_EQ(BlockRecvFile(s, target.c_str(), [](int, int) { ++progressCalls; }), 0);
  CloseServerConnection(s);
  EXPECT_EQ(ReadFile(target), picture);
  EXPECT_EQ(progressCalls, (300000 + 4095) / 4096);

  // A donation of 10,000 bytes arrives whole under its name.
  std::string donation = Pattern(10000, 9);
  std::string source = dir_ + "import.bin";
  WriteFile(source, donation);
  s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  r = EmptyRecord();
  r.code = 7;
  r.num1 = 0;
  r.num2 = 1;
  SetFieldText(r.text, RecordTextSize, "gift.txt", 8);
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  ASSERT_EQ(ReceiveResponse(s, &r), TransferResult::Ok);
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(BlockSendFile(s, source.c_str(), nullptr), 0);
  CloseServerConnection(s);
  std::string stored = WinePath(content + "/donations/quote/0/gift.txt");
  PumpUntil([&] { return ReadFile(stored).size() >= donation.size(); }, 30000);
  EXPECT_EQ(ReadFile(stored), donation);

  // A comment as a data block.
  s = OpenServerConnection(ConfiguredServer());
  ASSERT_GE(s, 0);
  r = EmptyRecord();
  r.code = 10;
  ASSERT_EQ(SendRequest(s, &r), TransferResult::Ok);
  ASSERT_EQ(ReceiveResponse(s, &r), TransferResult::Ok);
  ASSERT_EQ(r.code, 0);
  std::string comment = "4242\r\nA comment long enough to span two pieces: " + std::string(5000, 'c');
  EXPECT_EQ(BlockSendData(s, comment.data(), static_cast<int>(comment.size()), nullptr), 0);
  CloseServerConnection(s);
  EXPECT_TRUE(PumpUntil(
      [&] {
        for (const std::string& f : ListFiles(WinePath(content + "/comments"))) {
          if (f.find(".incoming") == std::string::npos &&
              ReadFile(WinePath(content + "/comments/" + f)).find(comment) != std::string::npos)
            return true;
        }
        return false;
      },
      30000));
}

}  // namespace
