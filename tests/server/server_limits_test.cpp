// Limits for a public server: quotas on what clients leave, and how much
// one address may ask of the server.
#include "server_fixture.h"

#include "server/address_limits.h"
#include "server/donation_store.h"

#include <unistd.h>

namespace {

class LimitsTest : public ServerFixture {
 protected:
  // A donation from a given loopback address; returns the response record
  // ("" when the connection ended first).
  std::string DonateFrom(const char* from, const std::string& name, const std::string& data, int type = 1) {
    TestConnection c;
    EXPECT_TRUE(c.Connect(port(), 10000, from));
    EXPECT_TRUE(c.Send(RequestBytes(7, 0, type, name)));
    std::string response;
    if (!c.ReceiveRaw(&response)) {
      return "";
    }
    if (response == ExpectedRecord(0, 0, 0)) {
      EXPECT_TRUE(c.Send(RequestBytes(0, 4096, static_cast<int32_t>(data.size())) + data));
      EXPECT_TRUE(c.ClosedByPeer(10000));
    }
    return response;
  }
  std::string PingFrom(const char* from) {
    TestConnection c;
    EXPECT_TRUE(c.Connect(port(), 10000, from));
    EXPECT_TRUE(c.Send(RequestBytes(11, 0, 0)));
    return c.ReceiveToEnd();
  }
  std::vector<std::string> Donations() { return FilesBelow(content_ + "/donations/quote"); }
};

const std::string QuotaFull = ExpectedRecord(5, QuotaFullError, 0);

TEST_F(LimitsTest, DonationFileQuotaAnswersFiveAndFreedRoomIsSeenAgain) {
  StartWith([](ServerOptions& o) { o.donation_quota_files = 2; });
  EXPECT_EQ(ExpectedRecord(0, 0, 0), DonateFrom("127.0.0.1", "one.txt", "first"));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), DonateFrom("127.0.0.1", "two.txt", "second"));
  EXPECT_EQ(QuotaFull, DonateFrom("127.0.0.1", "three.txt", "third"));
  EXPECT_FALSE(FileExists(content_ + "/donations/quote/0/three.txt"));
  // Beside each donation, who gave it.
  EXPECT_EQ("client 12345\naddress 127.0.0.1\n", ReadTextFile(content_ + "/donations/quote/0/.one.txt.meta"));
  // The operator accepts one elsewhere: the server counts again and takes
  // the next.
  ASSERT_EQ(0, ::unlink((content_ + "/donations/quote/0/one.txt").c_str()));
  EXPECT_TRUE(WaitFor([&] { return DonateFrom("127.0.0.1", "three.txt", "third") == ExpectedRecord(0, 0, 0); },
                      8000));
}

TEST_F(LimitsTest, BlockOverTheByteQuotaLeavesNothingOnDisk) {
  StartWith([](ServerOptions& o) { o.donation_quota_bytes = 100; });
  EXPECT_EQ(ExpectedRecord(0, 0, 0), DonateFrom("127.0.0.1", "sixty.txt", std::string(60, 'a')));
  // The request is taken (there is room), the block is not: the connection
  // closes and nothing of it stays.
  TestConnection c;
  ASSERT_TRUE(c.Connect(port()));
  ASSERT_TRUE(c.Send(RequestBytes(7, 0, 1, "big.txt")));
  std::string response;
  ASSERT_TRUE(c.ReceiveRaw(&response));
  ASSERT_EQ(ExpectedRecord(0, 0, 0), response);
  c.Send(RequestBytes(0, 4096, 41) + std::string(41, 'b'));
  EXPECT_TRUE(c.ClosedByPeer(5000));
  EXPECT_EQ(std::vector<std::string>({".sixty.txt.meta", "sixty.txt"}), FilesBelow(content_ + "/donations/quote/0"));
  EXPECT_TRUE(FilesBelow(content_ + "/donations/.incoming").empty());
  // Exactly full, then the next request is answered at once.
  EXPECT_EQ(ExpectedRecord(0, 0, 0), DonateFrom("127.0.0.1", "forty.txt", std::string(40, 'c')));
  EXPECT_EQ(QuotaFull, DonateFrom("127.0.0.1", "more.txt", "d"));
  EXPECT_EQ(4u, FilesBelow(content_ + "/donations/quote/0").size());
}

TEST_F(LimitsTest, CommentQuotaAnswersFive) {
  StartWith([](ServerOptions& o) { o.comment_quota_files = 1; });
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(10, 0, 0), "kept"));
  EXPECT_EQ(QuotaFull, Upload(RequestBytes(10, 0, 0), "not kept"));
  EXPECT_EQ(1u, FilesBelow(content_ + "/comments").size());
}

TEST_F(LimitsTest, OneAddressOverItsExchangesIsBusyWhileAnotherIsServed) {
  StartWith([](ServerOptions& o) { o.max_per_address = 1; });
  TestConnection held;  // connected, request not yet sent
  ASSERT_TRUE(held.Connect(port(), 10000, "127.0.0.1"));
  ASSERT_TRUE(WaitFor([&] { return server_->server().Counters().active == 1; }));
  EXPECT_EQ(ExpectedRecord(3, 0, 0), PingFrom("127.0.0.1"));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), PingFrom("127.0.0.2"));
  held.Close();
  EXPECT_TRUE(WaitFor([&] { return PingFrom("127.0.0.1") == ExpectedRecord(0, 0, 0); }));
}

TEST_F(LimitsTest, DonationsPerHourCountPerAddress) {
  StartWith([](ServerOptions& o) { o.donations_per_hour = 2; });
  EXPECT_EQ(ExpectedRecord(0, 0, 0), DonateFrom("127.0.0.1", "a.txt", "a"));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), DonateFrom("127.0.0.1", "b.txt", "b"));
  EXPECT_EQ(ExpectedRecord(3, 0, 0), DonateFrom("127.0.0.1", "c.txt", "c"));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), DonateFrom("127.0.0.2", "c.txt", "c"));
  // Other requests from the busy address are still served.
  EXPECT_EQ(ExpectedRecord(0, 0, 0), PingFrom("127.0.0.1"));
  EXPECT_EQ("client 12345\naddress 127.0.0.2\n", ReadTextFile(content_ + "/donations/quote/0/.c.txt.meta"));
}

TEST(AddressLimitsUnit, AnHourWindowSlides) {
  AddressLimits limits(1, 2);
  auto t0 = AddressLimits::Clock::now();
  EXPECT_TRUE(limits.AllowDonation("a", t0));
  EXPECT_TRUE(limits.AllowDonation("a", t0 + std::chrono::minutes(30)));
  EXPECT_FALSE(limits.AllowDonation("a", t0 + std::chrono::minutes(59)));
  EXPECT_TRUE(limits.AllowDonation("a", t0 + std::chrono::minutes(61)));
  EXPECT_FALSE(limits.AllowDonation("a", t0 + std::chrono::minutes(62)));
}

} // namespace
