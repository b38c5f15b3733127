// Every fault-injection mode, switched through the control file while the
// server runs.
#include "server/fault_plan.h"
#include "server_fixture.h"

#include <sys/socket.h>

#include <chrono>

namespace {

class FaultsTest : public ServerFixture {
 protected:
  void SetUp() override {
    ServerFixture::SetUp();
    WriteFaults("");
    StartWith([this](ServerOptions& o) {
      o.fault_file = dir_ / "faults.txt";
      o.idle_timeout_seconds = 0.5;
    });
  }
};

std::string Block(const std::string& data) {
  return ExpectedRecord(0, 4096, static_cast<int32_t>(data.size())) + data;
}

const std::string Ok = ExpectedRecord(0, 0, 0);

TEST_F(FaultsTest, BusyAndOtherCodesPerRequestType) {
  WriteFaults("1 busy\n11 code 1\n");
  EXPECT_EQ(ExpectedRecord(3, 0, 0), Exchange(1, 2));
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(11));
  EXPECT_EQ(ExpectedRecord(0, 0, 0, "All systems calm"), Exchange(13));  // untouched
  // A donation told busy gets no block read.
  WriteFaults("* code 4\n7 busy\n");
  EXPECT_EQ(ExpectedRecord(3, 0, 0), Exchange(7, 0, 1, "x.txt"));
  EXPECT_EQ(ExpectedRecord(4, 0, 0), Exchange(13));
  EXPECT_EQ(ExpectedRecord(4, 0, 0), Exchange(11));
  WriteFaults("* code -7\n");
  EXPECT_EQ(ExpectedRecord(-7, 0, 0), Exchange(9));
  // Switched off again without a restart.
  WriteFaults("# nothing\n");
  EXPECT_EQ(Ok + Block("B"), Exchange(1, 2));
}

TEST_F(FaultsTest, NoAnswerHoldsTheConnectionUntilTheIdleTimeOut) {
  WriteFaults("11 no-answer\n");
  TestConnection c;
  ASSERT_TRUE(c.Connect(port(), 300));
  ASSERT_TRUE(c.SendRequest(11));
  char byte;
  EXPECT_FALSE(c.Receive(&byte, 1));  // nothing within 300 ms, and still open
  EXPECT_TRUE(c.ClosedByPeer(5000));
}

TEST_F(FaultsTest, HangUpClosesWithoutAWord) {
  WriteFaults("1 hang-up\n");
  EXPECT_EQ("", Exchange(1, 2));
}

TEST_F(FaultsTest, EmptyAndOversizedBlocks) {
  WriteFaults("1 empty-block\n9 oversized-block\n8 oversized-block 20\n");
  EXPECT_EQ(Ok + ExpectedRecord(0, 4096, 0), Exchange(1, 2));
  std::string big = Exchange(9);
  ASSERT_EQ(180u + 1000000u, big.size());
  EXPECT_EQ(ExpectedRecord(0, 4096, 1000000), big.substr(90, 90));
  std::string small = Exchange(8);
  ASSERT_EQ(200u, small.size());
  EXPECT_EQ(ExpectedRecord(0, 4096, 20), small.substr(90, 90));
  EXPECT_EQ("Velmor filler: this ", small.substr(180));
}

TEST_F(FaultsTest, HeaderWithNonZeroCodeHasNoData) {
  WriteFaults("2 header-code 8\n3 header-code\n");
  std::string picture = Exchange(2, 3);
  ASSERT_EQ(270u, picture.size());
  EXPECT_EQ(Ok, picture.substr(0, 90));
  EXPECT_EQ(8, static_cast<unsigned char>(picture[180 + 28]));
  EXPECT_EQ(Ok + ExpectedRecord(5, 4096, 20), Exchange(3, 1));
}

TEST_F(FaultsTest, ChunkSizeZeroOrNegative) {
  WriteFaults("1 chunk-size 0\n8 chunk-size -5\n");
  EXPECT_EQ(Ok + ExpectedRecord(0, 0, 1) + "B", Exchange(1, 2));
  EXPECT_EQ(Ok + ExpectedRecord(0, -5, 25) + "News line one\r\nline two\r\n", Exchange(8));
}

TEST_F(FaultsTest, NegativeOrHugeTotal) {
  WriteFaults("1 total -1\n9 total 2000000000\n");
  EXPECT_EQ(Ok + ExpectedRecord(0, 4096, -1) + "B", Exchange(1, 2));
  EXPECT_EQ(Ok + ExpectedRecord(0, 4096, 2000000000) + "Tip\r\n", Exchange(9));
}

TEST_F(FaultsTest, BlockCutOffMidway) {
  WriteFaults("8 cut\n3 cut 5\n");
  std::string news = "News line one\r\nline two\r\n";
  EXPECT_EQ(Ok + ExpectedRecord(0, 4096, 25) + news.substr(0, 12), Exchange(8));
  EXPECT_EQ(Ok + ExpectedRecord(0, 4096, 20) + "RIFF.", Exchange(3, 1));
}

TEST_F(FaultsTest, SlowDripSendsSmallPiecesApart) {
  WriteFaults("11 drip 60 30\n");
  TestConnection c;
  ASSERT_TRUE(c.Connect(port()));
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(c.SendRequest(11));
  std::string got;
  int pieces = 0;
  char buffer[256];
  for (;;) {
    ssize_t n = ::recv(c.fd(), buffer, sizeof buffer, 0);
    if (n <= 0) {
      break;
    }
    got.append(buffer, static_cast<std::size_t>(n));
    ++pieces;
  }
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(Ok, got);
  EXPECT_GE(pieces, 2);
  // Three pieces with two pauses of 60 ms between them.
  EXPECT_GE(elapsed, std::chrono::milliseconds(115));
}

TEST_F(FaultsTest, StallStopsSendingAndHoldsTheConnection) {
  WriteFaults("1 stall\n8 stall 100\n");
  for (int32_t type : {1, 8}) {
    TestConnection c;
    ASSERT_TRUE(c.Connect(port(), 300));
    ASSERT_TRUE(c.SendRequest(type, 2));
    std::string got(type == 1 ? 90 : 100, '\0');
    ASSERT_TRUE(c.Receive(&got[0], got.size()));
    EXPECT_EQ(Ok, got.substr(0, 90));
    char byte;
    EXPECT_FALSE(c.Receive(&byte, 1));  // stalled, not closed
    EXPECT_TRUE(c.ClosedByPeer(5000));  // until the idle time-out
  }
}

TEST_F(FaultsTest, CategoryListCountMismatchAndMissingFinalNul) {
  WriteFaults("12 list-count 7\n");
  std::string names("Alpha\0Beta\0Empty Quotes\0Long\0", 29);
  EXPECT_EQ(ExpectedRecord(0, 7, 0) + Block(names), Exchange(12, 1));
  WriteFaults("12 no-final-nul\n13 no-final-nul\n");
  EXPECT_EQ(ExpectedRecord(0, 4, 0) + Block(names.substr(0, 28)), Exchange(12, 1));
  std::string status = "All systems calm" + std::string(34, ' ');
  EXPECT_EQ(ExpectedRecord(0, 0, 0, status), Exchange(13));
}

TEST_F(FaultsTest, BadLinesAreReportedAndTheRestStillApplies) {
  WriteFaults("1 explode\nx busy\n11 code\n11 code 1\n");
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(11));
  EXPECT_EQ(Ok + Block("B"), Exchange(1, 2));
  server_->Stop();
  std::string log = ReadTextFile(log_);
  EXPECT_NE(std::string::npos, log.find("line 1: unknown mode"));
  EXPECT_NE(std::string::npos, log.find("line 2: request type is not a number or *"));
  EXPECT_NE(std::string::npos, log.find("line 3: wrong number of values for this mode"));
}

TEST(FaultTable, ExactTypeWinsOverAnyAndDefaultsApply) {
  std::vector<std::string> errors;
  FaultTable t = ParseFaultTable("  # comment\n\n* busy\n2 drip\n3 stall 7\n12 list-count -2\n", &errors);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(FaultMode::Code, t.For(1).mode);
  EXPECT_EQ(3, t.For(1).arg1);
  EXPECT_EQ(FaultMode::Drip, t.For(2).mode);
  EXPECT_FALSE(t.For(2).has_arg1);
  EXPECT_EQ(7, t.For(3).arg1);
  EXPECT_EQ(-2, t.For(12).arg1);
  EXPECT_EQ(FaultMode::None, ParseFaultTable("", &errors).For(1).mode);
  ParseFaultTable("1 code 99999999999999999999999\n1 drip 1 2 3\n", &errors);
  EXPECT_EQ(2u, errors.size());
}

} // namespace
