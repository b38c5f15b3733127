// Hostile and broken clients, capacity, and uploads that never finish.
#include "server_fixture.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using RobustTest = ServerFixture;

TEST_F(RobustTest, HostileDonationNamesAreRefusedAndWriteNothing) {
  Start();
  std::vector<std::string> before = FilesBelow(dir_.path());
  const std::string names[] = {
      "a/b",  "/etc/passwd", "..",  ".",    "../x", "..\\x", "C:x",     "c:\\windows\\win.ini",
      "a\x01b", "a\nb",      "",    " x",   "x ",   "x.",    ".hidden", "a*b",
      "a?b",  "a|b",         "a\"b", "a<b", "a>b",  "\x7f",  "dir\\",   std::string("\x1b[31m", 5),
  };
  for (const std::string& name : names) {
    EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(7, 0, 1, name)) << name;
  }
  std::vector<std::string> after = FilesBelow(dir_.path());
  after.erase(std::remove(after.begin(), after.end(), "server.log"), after.end());
  before.erase(std::remove(before.begin(), before.end(), "server.log"), before.end());
  EXPECT_EQ(before, after);
}

TEST_F(RobustTest, FullTextFieldWithoutNulIsAFiftyCharacterName) {
  Start();
  std::string name = std::string(46, 'n') + ".txt";
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 0, 1, name), "fifty"));
  EXPECT_EQ("fifty", ReadTextFile(content_ + "/donations/quote/0/" + name));
  EXPECT_EQ(ExpectedRecord(10, 0, 0, name), Upload(RequestBytes(7, 0, 1, name), "again"));
}

TEST_F(RobustTest, HostileClientIdStaysOutOfPaths) {
  Start();
  std::string id = "../../x\\y:\x01\x02zzzzzzzz";  // 20 bytes, no NUL
  ASSERT_EQ(20u, id.size());
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(10, 0, 0, "", id), "hi"));
  std::vector<std::string> files = FilesBelow(content_ + "/comments");
  ASSERT_EQ(1u, files.size());
  EXPECT_EQ(std::string::npos, files[0].find('/')) << files[0];
  EXPECT_NE(std::string::npos, files[0].find("-______x_y___zzzzzzzz-")) << files[0];
  EXPECT_EQ(0u, ReadTextFile(content_ + "/comments/" + files[0]).find("Client id: ______x_y___zzzzzzzz\n"));
}

TEST_F(RobustTest, NegativeAndAbsurdBlockSizesStoreNothing) {
  StartWith([](ServerOptions& o) { o.max_donation_bytes = 1000; });
  for (int32_t total : {-1, INT32_MIN, 1001, INT32_MAX}) {
    SCOPED_TRACE(total);
    TestConnection c;
    ASSERT_TRUE(c.Connect(port()));
    ASSERT_TRUE(c.Send(RequestBytes(7, 0, 1, "sized.txt")));
    std::string response;
    ASSERT_TRUE(c.ReceiveRaw(&response));
    ASSERT_EQ(ExpectedRecord(0, 0, 0), response);
    ASSERT_TRUE(c.Send(RequestBytes(0, 4096, total) + "some data"));
    EXPECT_TRUE(c.ClosedByPeer(5000));
  }
  EXPECT_FALSE(FileExists(content_ + "/donations/quote/0/sized.txt"));
  EXPECT_TRUE(FilesBelow(content_ + "/donations/.incoming").empty());
  // Comments have their own limit: a few kilobytes of text.
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(10, 0, 0), std::string(70000, 'c')));
  EXPECT_TRUE(FilesBelow(content_ + "/comments").empty());
}

TEST_F(RobustTest, RecordsCutShortSilentClientsAndSlowUploads) {
  StartWith([](ServerOptions& o) { o.idle_timeout_seconds = 0.6; });
  {
    TestConnection c;  // half a request, then gone
    ASSERT_TRUE(c.Connect(port()));
    ASSERT_TRUE(c.Send(RequestBytes(11, 0, 0).substr(0, 50)));
  }
  {
    TestConnection c;  // half a request, then silence
    ASSERT_TRUE(c.Connect(port()));
    ASSERT_TRUE(c.Send(RequestBytes(11, 0, 0).substr(0, 50)));
    EXPECT_TRUE(c.ClosedByPeer(5000));
  }
  {
    TestConnection c;  // says nothing at all
    ASSERT_TRUE(c.Connect(port()));
    EXPECT_TRUE(c.ClosedByPeer(5000));
  }
  {
    // A slow client keeps its connection as long as bytes keep coming.
    TestConnection c;
    ASSERT_TRUE(c.Connect(port()));
    ASSERT_TRUE(c.Send(RequestBytes(7, 0, 1, "slow.txt")));
    std::string response;
    ASSERT_TRUE(c.ReceiveRaw(&response));
    ASSERT_TRUE(c.Send(RequestBytes(0, 4096, 6)));
    for (char ch : std::string("drip!!")) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ASSERT_TRUE(c.Send(&ch, 1));
    }
    EXPECT_TRUE(c.ClosedByPeer(5000));
    EXPECT_EQ("drip!!", ReadTextFile(content_ + "/donations/quote/0/slow.txt"));
  }
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(11));
  EXPECT_TRUE(WaitFor([&] { return server_->server().Counters().active == 0; }));
}

TEST_F(RobustTest, ClientThatNeverReadsIsDroppedAtTheIdleTimeOut) {
  StartWith([](ServerOptions& o) { o.idle_timeout_seconds = 0.5; });
  WriteTextFile(content_ + "/pictures/0/big.jpg", std::string(10 * 1024 * 1024, 'p'));
  TestConnection c;
  ASSERT_TRUE(c.Connect(port()));
  int small = 4096;
  ::setsockopt(c.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  ASSERT_TRUE(c.SendRequest(2, 1));
  // Others are served meanwhile.
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(11));
  EXPECT_TRUE(WaitFor([&] { return server_->server().Counters().active == 0; }, 10000));
}

TEST_F(RobustTest, OverCapacityClientsAreToldBusy) {
  StartWith([](ServerOptions& o) { o.max_connections = 2; });
  TestConnection a, b;
  ASSERT_TRUE(a.Connect(port()));
  ASSERT_TRUE(b.Connect(port()));
  ASSERT_TRUE(WaitFor([&] { return server_->server().Counters().active == 2; }));
  EXPECT_EQ(ExpectedRecord(3, 0, 0), Exchange(1, 2));
  EXPECT_EQ(ExpectedRecord(3, 0, 0), Exchange(7, 0, 1, "busy.txt"));
  a.Close();
  ASSERT_TRUE(WaitFor([&] { return server_->server().Counters().active == 1; }));
  EXPECT_EQ(ExpectedRecord(0, 0, 0) + ExpectedRecord(0, 4096, 1) + "B", Exchange(1, 2));
  EXPECT_EQ(2, server_->server().Counters().answered_busy);
}

TEST_F(RobustTest, TwoHundredClientsAtOnce) {
  const int count = 200;
  StartWith([](ServerOptions& o) { o.max_per_address = count; });
  std::vector<std::unique_ptr<TestConnection>> clients;
  for (int i = 0; i < count; ++i) {
    clients.push_back(std::make_unique<TestConnection>());
    ASSERT_TRUE(clients.back()->Connect(port()));
  }
  ASSERT_TRUE(WaitFor([&] { return server_->server().Counters().active == count; }));
  // Every fourth client donates; the rest ask for a quote.
  for (int i = 0; i < count; ++i) {
    if (i % 4 == 0) {
      ASSERT_TRUE(clients[i]->Send(RequestBytes(7, 1, 1, "gift" + std::to_string(i) + ".txt")));
    } else {
      ASSERT_TRUE(clients[i]->Send(RequestBytes(1, 2, 0)));
    }
  }
  const std::string quote = ExpectedRecord(0, 0, 0) + ExpectedRecord(0, 4096, 1) + "B";
  for (int i = 0; i < count; ++i) {
    if (i % 4 == 0) {
      std::string response;
      ASSERT_TRUE(clients[i]->ReceiveRaw(&response));
      ASSERT_EQ(ExpectedRecord(0, 0, 0), response);
      ASSERT_TRUE(clients[i]->Send(RequestBytes(0, 4096, 3) + std::to_string(100 + i)));
    } else {
      EXPECT_EQ(quote, clients[i]->ReceiveToEnd()) << i;
    }
  }
  ASSERT_TRUE(WaitFor([&] { return server_->server().Counters().active == 0; }));
  for (int i = 0; i < count; i += 4) {
    EXPECT_EQ(std::to_string(100 + i), ReadTextFile(content_ + "/donations/quote/1/gift" + std::to_string(i) + ".txt"));
  }
}

TEST_F(RobustTest, InterruptedDonationLeavesNothingVisible) {
  Start();
  {
    TestConnection c;
    ASSERT_TRUE(c.Connect(port()));
    ASSERT_TRUE(c.Send(RequestBytes(7, 0, 2, "half.jpg")));
    std::string response;
    ASSERT_TRUE(c.ReceiveRaw(&response));
    ASSERT_TRUE(c.Send(RequestBytes(0, 4096, 100000) + std::string(50000, 'h')));
  }  // the client goes away midway
  ASSERT_TRUE(WaitFor([&] { return server_->server().Counters().active == 0; }));
  EXPECT_TRUE(FilesBelow(content_ + "/donations").empty());
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 0, 2, "half.jpg"), "whole"));

  // The server stopping midway drops the upload as well.
  TestConnection c;
  ASSERT_TRUE(c.Connect(port()));
  ASSERT_TRUE(c.Send(RequestBytes(7, 0, 2, "stopped.jpg")));
  std::string response;
  ASSERT_TRUE(c.ReceiveRaw(&response));
  ASSERT_TRUE(c.Send(RequestBytes(0, 4096, 100000) + std::string(50000, 's')));
  ASSERT_TRUE(WaitFor([&] { return FilesBelow(content_ + "/donations/.incoming").size() == 1; }));
  server_->Stop();
  EXPECT_EQ(std::vector<std::string>({"picture/0/.half.jpg.meta", "picture/0/half.jpg"}),
            FilesBelow(content_ + "/donations"));
}

// A donation that stalls past the drain time is dropped, and the process
// still ends well.
TEST_F(RobustTest, SigtermDuringADonationShutsDownCleanly) {
  std::string ready = dir_ / "ready";
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(VELMOR_SERVER_PATH, "velmor-server", "--port", "0", "--content", content_.c_str(), "--ready-file",
            ready.c_str(), "--log", log_.c_str(), "--drain-timeout", "1", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_TRUE(WaitFor([&] { return FileExists(ready); }, 10000));
  int server_port = std::stoi(ReadTextFile(ready));
  TestConnection c;
  ASSERT_TRUE(c.Connect(server_port));
  ASSERT_TRUE(c.Send(RequestBytes(7, 1, 3, "ring.wav")));
  std::string response;
  ASSERT_TRUE(c.ReceiveRaw(&response));
  ASSERT_EQ(ExpectedRecord(0, 0, 0), response);
  ASSERT_TRUE(c.Send(RequestBytes(0, 4096, 5000) + std::string(2500, 'w')));
  ASSERT_TRUE(WaitFor([&] { return ReadTextFile(log_).find("listening") != std::string::npos; }));
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_TRUE(c.ClosedByPeer(5000));
  EXPECT_TRUE(FilesBelow(content_ + "/donations").empty());
  EXPECT_NE(std::string::npos, ReadTextFile(log_).find("server stopping"));
}

} // namespace
