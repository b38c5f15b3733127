// Shared set-up of the server tests: a known content directory, a server
// over it, and one-call exchanges.
#pragma once
#include "test_client.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    content_ = dir_ / "content";
    log_ = dir_ / "server.log";
    WriteTestContent(content_);
  }

  // Starts the server; adjust lets a test change options first.
  template <class Adjust>
  void StartWith(Adjust adjust) {
    ServerOptions options = TestOptions(content_, log_);
    adjust(options);
    server_ = std::make_unique<RunningServer>(options);
    ASSERT_GT(server_->port(), 0);
  }
  void Start() {
    StartWith([](ServerOptions&) {});
  }

  int port() const { return server_->port(); }

  // Sends raw request bytes and returns everything the server sends until
  // it closes the connection.
  std::string Exchange(const std::string& request) {
    TestConnection c;
    EXPECT_TRUE(c.Connect(port()));
    EXPECT_TRUE(c.Send(request));
    return c.ReceiveToEnd();
  }
  std::string Exchange(int32_t code, int32_t num1 = 0, int32_t num2 = 0, const std::string& text = "") {
    return Exchange(RequestBytes(code, num1, num2, text));
  }

  // A donation or comment: request, then (after response 0) header and
  // data. Returns the server's response record.
  std::string Upload(const std::string& request, const std::string& data, int32_t chunk = 4096) {
    TestConnection c;
    EXPECT_TRUE(c.Connect(port()));
    EXPECT_TRUE(c.Send(request));
    std::string response;
    if (!c.ReceiveRaw(&response)) {
      return "";
    }
    if (response == ExpectedRecord(0, 0, 0)) {
      EXPECT_TRUE(c.Send(RequestBytes(0, chunk, static_cast<int32_t>(data.size()))));
      EXPECT_TRUE(c.Send(data));
      // The server closes once the block is stored.
      EXPECT_TRUE(c.ClosedByPeer(10000));
    }
    return response;
  }

  void WriteFaults(const std::string& text) { WriteTextFile(dir_ / "faults.txt", text); }

  TempDir dir_;
  std::string content_;
  std::string log_;
  std::unique_ptr<RunningServer> server_;
};
