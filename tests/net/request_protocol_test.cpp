// The request protocol and the block transfers over an in-memory peer: the
// exact bytes sent, the pieces, the statuses, the log lines, and that no
// failure leaks a guarded block.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "net/request_protocol.h"
#include "tests/net/fake_transport.h"
#include "tests/support/test_files.h"

using namespace std::string_literals;

namespace {

std::vector<std::pair<int, int>> progressCalls;
void RecordProgress(int done, int total) { progressCalls.emplace_back(done, total); }

std::string Int32(int v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<unsigned>(v) >> (8 * i)) & 0xFF);
  return s;
}

// The 90 bytes a request with these fields must be, built field by field.
std::string ExpectedRequest(const char* id, int code, int num1, int num2, const char* text = "") {
  std::string out(id);
  out.resize(20, '\0');
  out += Int32(7) + Int32(3) + Int32(code) + Int32(num1) + Int32(num2);
  std::string t(text);
  t.resize(50, '\0');
  return out + t;
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPeer();
    progressCalls.clear();
    std::snprintf(ClientIdentity, sizeof ClientIdentity, "%s", "4012345678");
    dir_ = MakeTestDir("protocol");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir_.c_str());
    std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override { EXPECT_EQ(GuardedOutstanding(), outstanding_) << "guarded block leaked"; }
  std::string LogText() { return ReadFile(dir_ + "VelmorW.log"); }

  std::string dir_;
  long outstanding_ = 0;
};

TEST_F(ProtocolTest, RequestRecordsOnTheWire) {
  RequestRecord r = EmptyRecord();
  r.code = 6;
  r.num1 = 2;
  SetFieldText(r.text, RecordTextSize, "Limericks", 9);
  ASSERT_EQ(SendRequest(3, &r), TransferResult::Ok);
  ASSERT_EQ(Peer().sends.size(), 1u);
  EXPECT_EQ(Peer().sends[0], ExpectedRequest("4012345678", 6, 2, 0, "Limericks"));
  // The record itself now carries the identity and the two constants.
  EXPECT_STREQ(r.client_id, "4012345678");
  EXPECT_EQ(r.magic1, 7);
  EXPECT_EQ(r.magic2, 3);

  SendBlockStatus(3, 5);
  ASSERT_EQ(Peer().sends.size(), 2u);
  EXPECT_EQ(Peer().sends[1], ExpectedRequest("4012345678", 5, 0, 0));

  Peer().failSendsFrom = 2;
  RequestRecord again = EmptyRecord();
  EXPECT_EQ(SendRequest(3, &again), TransferResult::IoError);

  ResetPeer();
  Quitting = 1;
  RequestRecord quitting = EmptyRecord();
  EXPECT_EQ(SendRequest(3, &quitting), TransferResult::Quit);
  EXPECT_TRUE(Peer().sends.empty());
}

TEST_F(ProtocolTest, ResponseReadsOrLeavesCodeSeven) {
  Peer().incoming = RecordBytes(10, -3, 77, "name.wav");
  RequestRecord r = EmptyRecord();
  r.code = 7;
  ASSERT_EQ(ReceiveResponse(3, &r), TransferResult::Ok);
  EXPECT_EQ(r.code, 10);
  EXPECT_EQ(r.num1, -3);
  EXPECT_EQ(r.num2, 77);
  EXPECT_STREQ(r.text, "name.wav");

  // Nothing (or too little) arrives: a broken receive and code 7.
  ResetPeer();
  Peer().incoming = RecordBytes(0, 1, 2).substr(0, 40);
  RequestRecord cut = EmptyRecord();
  EXPECT_TRUE(TransferBroken(ReceiveResponse(3, &cut)));
  EXPECT_EQ(cut.code, 7);

  // A cancel during the receive: not broken, the request's code cleared.
  ResetPeer();
  CancelTransfer = 1;
  RequestRecord cancelled = EmptyRecord();
  cancelled.code = 13;
  cancelled.num1 = 44;
  EXPECT_EQ(ReceiveResponse(3, &cancelled), TransferResult::Cancelled);
  EXPECT_EQ(cancelled.code, 0);
  EXPECT_EQ(cancelled.num1, 44);
}

TEST_F(ProtocolTest, MemoryBlockPiecesAndProgress) {
  std::string data = Pattern(2500);
  Peer().incoming = BlockBytes(data, 1000);
  int status = -1;
  char* got = BlockRecvMemory(3, &status, RecordProgress);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(status, 2500);
  EXPECT_EQ(std::string(got, 2500), data);
  EXPECT_EQ(got[2500], '\0');
  // Pieces that arrive at once make the next read twice as large; the
  // progress comes for the first piece and the last (the rest is paced).
  EXPECT_EQ(Peer().receiveSizes, (std::vector<int>{90, 1000, 1500}));
  EXPECT_EQ(progressCalls, (std::vector<std::pair<int, int>>{{1000, 2500}, {2500, 2500}}));
  GuardedFree(got);

  // An empty block: no piece, no progress, an empty NUL-terminated text.
  ResetPeer();
  progressCalls.clear();
  Peer().incoming = BlockBytes("", 4096);
  got = BlockRecvMemory(3, &status, RecordProgress);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(got[0], '\0');
  EXPECT_TRUE(progressCalls.empty());
  GuardedFree(got);
}

TEST_F(ProtocolTest, MemoryBlockLimitBoundary) {
  std::string data = Pattern(999999);
  Peer().incoming = BlockBytes(data, 4096);
  int status = -1;
  char* got = BlockRecvMemory(3, &status, nullptr);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(status, 999999);
  EXPECT_EQ(std::memcmp(got, data.data(), data.size()), 0);
  GuardedFree(got);

  // One byte more: read to its very end, then dropped with status 6.
  ResetPeer();
  Peer().incoming = BlockBytes(Pattern(1000000), 4096) + "next";
  got = BlockRecvMemory(3, &status, nullptr);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(status, 6);
  EXPECT_EQ(Peer().readPos, 90u + 1000000u);
}

TEST_F(ProtocolTest, MemoryBlockFailures) {
  struct Case {
    std::string incoming;
    int status;
    size_t readTo; // how far the receiver may read
  };
  const Case cases[] = {
      {RecordBytes(5, 4096, 10), 1, 90},                       // refused by the server
      {RecordBytes(0, 4096, 10).substr(0, 50), 1, 50},         // header cut short
      {RecordBytes(0, 0, 10) + "0123456789", 7, 90},           // zero chunk: fails at once
      {RecordBytes(0, -4096, 10) + "0123456789", 7, 90},       // negative chunk
      {RecordBytes(0, 4096, -1), 7, 90},                       // negative total
      {RecordBytes(0, 4096, 5000) + Pattern(4096) + "x", 7, 90 + 4097}, // cut block
  };
  for (const Case& c : cases) {
    ResetPeer();
    Peer().incoming = c.incoming;
    int status = -1;
    EXPECT_EQ(BlockRecvMemory(3, &status, nullptr), nullptr);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(Peer().readPos, c.readTo);
    EXPECT_EQ(GuardedOutstanding(), outstanding_);
  }
  std::string log = LogText();
  EXPECT_NE(log.find("Invalid block header: chunk size 0, total 10"), std::string::npos);
  EXPECT_NE(log.find("Error on recieve during blockrecv (10060)"), std::string::npos);
}

TEST_F(ProtocolTest, HugeChunkIsReadInBoundedPieces) {
  std::string data = Pattern(150000);
  Peer().incoming = BlockBytes(data, 0x7FFFFFFF);
  int status = -1;
  char* got = BlockRecvMemory(3, &status, nullptr);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(std::string(got, 150000), data);
  EXPECT_EQ(Peer().receiveSizes, (std::vector<int>{90, 65536, 65536, 18928}));
  GuardedFree(got);
}

TEST_F(ProtocolTest, PiecesShrinkToTheChunkSizeWhenDataComesSlowly) {
  Peer().incoming = BlockBytes(Pattern(400000), 1000);
  // Every piece arrives at once until one of 8000 bytes is asked for; from
  // then on each takes 120 ms, and the sixth slow one is cancelled.
  size_t slowFrom = 0, seen = 0;
  Peer().onPump = [&](int) {
    const std::vector<int>& sizes = Peer().receiveSizes;
    if (sizes.size() == seen) return;  // the pump between pieces
    seen = sizes.size();
    if (!slowFrom && sizes.back() >= 8000) slowFrom = seen - 1;
    if (!slowFrom) return;
    if (seen - slowFrom == 6) CancelTransfer = 1;
    else std::this_thread::sleep_for(std::chrono::milliseconds(120));
  };
  int status = -1;
  EXPECT_EQ(BlockRecvMemory(3, &status, nullptr), nullptr);
  EXPECT_EQ(status, BlockCancelled);
  ASSERT_NE(slowFrom, 0u) << "the pieces never grew to 8000 bytes";
  const std::vector<int>& sizes = Peer().receiveSizes;
  EXPECT_EQ(std::vector<int>(sizes.begin() + static_cast<std::ptrdiff_t>(slowFrom), sizes.end()),
            (std::vector<int>{8000, 4000, 2000, 1000, 1000, 1000}));
}

TEST_F(ProtocolTest, MemoryBlockCancelAndQuit) {
  // Cancel raised while the second piece is pumped: no progress for it, 11.
  Peer().incoming = BlockBytes(Pattern(3000), 1000);
  Peer().onPump = [](int pump) {
    if (pump == 4) CancelTransfer = 1; // pumps: header, piece 1 twice, piece 2 ...
  };
  int status = -1;
  EXPECT_EQ(BlockRecvMemory(3, &status, RecordProgress), nullptr);
  EXPECT_EQ(status, 11);
  EXPECT_EQ(progressCalls.size(), 1u);

  ResetPeer();
  progressCalls.clear();
  Peer().incoming = BlockBytes(Pattern(3000), 1000);
  Peer().onPump = [](int pump) {
    if (pump == 3) Quitting = 1;
  };
  EXPECT_EQ(BlockRecvMemory(3, &status, RecordProgress), nullptr);
  EXPECT_EQ(status, 1);
  EXPECT_NE(LogText().find("Quit request during blockrecv"), std::string::npos);
}

TEST_F(ProtocolTest, FileBlockWritesRawBytes) {
  std::string path = dir_ + "import.bin";
  WriteFile(path, std::string(50000, 'o')); // replaced, not appended to
  std::string data = "line\r\nbare\nnul\0end\r"s;
  Peer().incoming = BlockBytes(data, 4);
  EXPECT_EQ(BlockRecvFile(3, path.c_str(), RecordProgress), 0);
  EXPECT_EQ(ReadFile(path), data);
  EXPECT_EQ(progressCalls.back(), std::make_pair(static_cast<int>(data.size()), static_cast<int>(data.size())));

  // A refused header: its code, and no file.
  ResetPeer();
  std::string other = dir_ + "other.bin";
  Peer().incoming = RecordBytes(5, 4096, 100);
  EXPECT_EQ(BlockRecvFile(3, other.c_str(), nullptr), 5);
  EXPECT_FALSE(FileExists(other));
  ResetPeer();
  EXPECT_EQ(BlockRecvFile(3, other.c_str(), nullptr), 7); // no header at all
  EXPECT_FALSE(FileExists(other));
  ResetPeer();
  Peer().incoming = RecordBytes(0, 0, 100);
  EXPECT_EQ(BlockRecvFile(3, other.c_str(), nullptr), 7);
  EXPECT_FALSE(FileExists(other));
}

// The edges of a header: an empty block announced with chunk size 0 is a
// block like any other; a file block larger than the limit is refused before
// a file is made or a byte of it read.
TEST_F(ProtocolTest, EmptyAndOversizedAnnouncements) {
  Peer().incoming = RecordBytes(0, 0, 0) + "next";
  int status = -1;
  char* got = BlockRecvMemory(3, &status, nullptr);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(got[0], '\0');
  GuardedFree(got);
  ResetPeer();
  std::string path = dir_ + "import.bin";
  WriteFile(path, "old");
  Peer().incoming = RecordBytes(0, 0, 0) + "next";
  EXPECT_EQ(BlockRecvFile(3, path.c_str(), nullptr), 0);
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(Peer().readPos, 90u);

  for (int total : {FileBlockLimit + 1, 2000000000}) {
    ResetPeer();
    std::string big = dir_ + "big.bin";
    Peer().incoming = RecordBytes(0, 4096, total) + Pattern(8192);
    EXPECT_EQ(BlockRecvFile(3, big.c_str(), nullptr), 6) << total;
    EXPECT_FALSE(FileExists(big)) << total;
    EXPECT_EQ(Peer().readPos, 90u) << total;
  }
  EXPECT_NE(LogText().find("Block too large for a file: 2000000000 bytes announced"), std::string::npos);
}

TEST_F(ProtocolTest, FileBlockWithoutTargetIsReadAndDropped) {
  std::string path = dir_ + "missing-folder/import.bin";
  Peer().incoming = BlockBytes(Pattern(9000), 4096) + "after";
  EXPECT_EQ(BlockRecvFile(3, path.c_str(), nullptr), 5);
  EXPECT_EQ(Peer().readPos, 90u + 9000u);
  EXPECT_NE(LogText().find("Error creating/opening file: " + path + ", errno = "), std::string::npos);

  ResetPeer();
  Peer().incoming = BlockBytes(Pattern(9000), 4096).substr(0, 5000);
  EXPECT_EQ(BlockRecvFile(3, (dir_ + "cut.bin").c_str(), nullptr), 7);
  EXPECT_NE(LogText().find("TCPIP error on recieve during blockrecv (10060)"), std::string::npos);

  ResetPeer();
  Peer().incoming = BlockBytes(Pattern(9000), 4096);
  Peer().onPump = [](int pump) {
    if (pump == 3) CancelTransfer = 1;
  };
  EXPECT_EQ(BlockRecvFile(3, (dir_ + "cancelled.bin").c_str(), nullptr), 11);
  ResetPeer();
  Peer().incoming = BlockBytes(Pattern(9000), 4096);
  Peer().onPump = [](int pump) {
    if (pump == 3) Quitting = 1;
  };
  EXPECT_EQ(BlockRecvFile(3, (dir_ + "quit.bin").c_str(), nullptr), 1);
}

TEST_F(ProtocolTest, SendingAFileAnnouncesChunksAndWritesPieces) {
  // The header announces 4,096-byte chunks; the data goes in pieces of
  // sixteen chunks, the last one short, each followed by its progress.
  std::string path = dir_ + "donation.jpg";
  std::string data = Pattern(2 * 65536 + 1808);
  WriteFile(path, data);
  EXPECT_EQ(BlockSendFile(3, path.c_str(), RecordProgress), 0);
  const auto& sends = Peer().sends;
  ASSERT_EQ(sends.size(), 4u);
  EXPECT_EQ(sends[0], ExpectedRequest("4012345678", 0, 4096, 132880));
  EXPECT_EQ(sends[1].size(), 65536u);
  EXPECT_EQ(sends[2].size(), 65536u);
  EXPECT_EQ(sends[3].size(), 1808u);
  EXPECT_EQ(sends[1] + sends[2] + sends[3], data);
  EXPECT_EQ(progressCalls,
            (std::vector<std::pair<int, int>>{{65536, 132880}, {131072, 132880}, {132880, 132880}}));
  EXPECT_TRUE(Peer().receiveSizes.empty()); // no answer awaited
}

TEST_F(ProtocolTest, FileSendFailures) {
  std::string empty = dir_ + "empty.txt";
  WriteFile(empty, "");
  EXPECT_EQ(BlockSendFile(3, empty.c_str(), nullptr), BlockSendEmptyFile);
  ASSERT_EQ(Peer().sends.size(), 1u);
  EXPECT_EQ(Peer().sends[0], ExpectedRequest("4012345678", 5, 0, 0));
  EXPECT_NE(LogText().find("Error getting filesize to send file: " + empty), std::string::npos);

  ResetPeer();
  std::string missing = dir_ + "no-such-file.txt";
  int result = BlockSendFile(3, missing.c_str(), nullptr);
  EXPECT_GT(result, 0);
  ASSERT_EQ(Peer().sends.size(), 1u);
  EXPECT_EQ(Peer().sends[0], ExpectedRequest("4012345678", 5, 0, 0));
  EXPECT_NE(LogText().find("Error opening to send file: " + missing + ", errno = " + std::to_string(result)),
            std::string::npos);

  std::string path = dir_ + "big.bin";
  WriteFile(path, Pattern(150000));
  ResetPeer();
  Peer().failSendsFrom = 2;
  EXPECT_EQ(BlockSendFile(3, path.c_str(), nullptr), -7);
  EXPECT_NE(LogText().find("TCPIP error on send during blocksendfile (10060)"), std::string::npos);
  ResetPeer();
  Peer().onPump = [](int) { CancelTransfer = 1; };
  EXPECT_EQ(BlockSendFile(3, path.c_str(), RecordProgress), -11);
  EXPECT_TRUE(progressCalls.empty());
  ResetPeer();
  Peer().onPump = [](int) { Quitting = 1; };
  EXPECT_EQ(BlockSendFile(3, path.c_str(), nullptr), -7);
}

TEST_F(ProtocolTest, SendingDataInPieces) {
  std::string data = Pattern(2 * 65536 + 1808);
  EXPECT_EQ(BlockSendData(3, data.data(), 132880, RecordProgress), 0);
  const auto& sends = Peer().sends;
  ASSERT_EQ(sends.size(), 4u);
  EXPECT_EQ(sends[0], ExpectedRequest("4012345678", 0, 4096, 132880));
  EXPECT_EQ(sends[1].size(), 65536u);
  EXPECT_EQ(sends[3].size(), 1808u);
  EXPECT_EQ(sends[1] + sends[2] + sends[3], data);
  EXPECT_EQ(progressCalls.size(), 3u);

  ResetPeer();
  EXPECT_EQ(BlockSendData(3, "", 0, nullptr), 4);
  ASSERT_EQ(Peer().sends.size(), 1u);
  EXPECT_EQ(Peer().sends[0], ExpectedRequest("4012345678", 4, 0, 0));
  EXPECT_NE(LogText().find("Can't sent zero length data block."), std::string::npos);

  ResetPeer();
  Peer().failSendsFrom = 1;
  EXPECT_EQ(BlockSendData(3, data.data(), 10000, nullptr), 7);
  EXPECT_NE(LogText().find("TCPIP error on send during blocksenddata (10060)"), std::string::npos);
  ResetPeer();
  Peer().onPump = [](int) { CancelTransfer = 1; };
  EXPECT_EQ(BlockSendData(3, data.data(), 10000, nullptr), 11);
  ResetPeer();
  Peer().onPump = [](int) { Quitting = 1; };
  EXPECT_EQ(BlockSendData(3, data.data(), 10000, nullptr), 1);
  EXPECT_NE(LogText().find("Quit request during blocksenddata"), std::string::npos);
}

}  // namespace
