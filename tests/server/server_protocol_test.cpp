// Every request type, answered byte for byte.
#include "server/content_store.h"
#include "server_fixture.h"

#include <cerrno>
#include <set>

namespace {

using ProtocolTest = ServerFixture;

std::string Block(const std::string& data) {
  return ExpectedRecord(0, 4096, static_cast<int32_t>(data.size())) + data;
}

TEST_F(ProtocolTest, QuoteIsResponseHeaderAndTextAndDrawsAtRandom) {
  Start();
  EXPECT_EQ(ExpectedRecord(0, 0, 0) + Block("B"), Exchange(1, 2));

  std::set<std::string> seen;
  for (int i = 0; i < 200 && seen.size() < 2; ++i) {
    std::string reply = Exchange(1, 1);
    ASSERT_GE(reply.size(), 180u);
    EXPECT_EQ(ExpectedRecord(0, 0, 0), reply.substr(0, 90));
    std::string text = reply.substr(180);
    EXPECT_EQ(Block(text), reply.substr(90));
    EXPECT_TRUE(text == "First quote." || text == "Second quote,\non two lines.") << text;
    seen.insert(text);
  }
  EXPECT_EQ(2u, seen.size()) << "both quotes of the category should come up";
}

TEST_F(ProtocolTest, QuoteCategoryEmptyOrMissing) {
  Start();
  EXPECT_EQ(ExpectedRecord(2, 0, 0), Exchange(1, 3));  // Empty Quotes: no file at all
  for (int32_t number : {0, -1, 5, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(ExpectedRecord(4, 0, 0), Exchange(1, number)) << number;
  }
  WriteTextFile(content_ + "/quotes/2.txt", "\n%\n\n%\n");  // separators only
  EXPECT_EQ(ExpectedRecord(2, 0, 0), Exchange(1, 3));
}

TEST_F(ProtocolTest, PictureHasInformationRecordBeforeItsBlock) {
  Start();
  std::set<std::string> seen;
  for (int i = 0; i < 200 && seen.size() < 2; ++i) {
    std::string reply = Exchange(2, 3);
    ASSERT_GE(reply.size(), 270u);
    EXPECT_EQ(ExpectedRecord(0, 0, 0), reply.substr(0, 90));
    std::string name = reply.substr(90 + 40, reply.find('\0', 130) - 130);
    ASSERT_TRUE(name == "left.jpg" || name == "right.bmp") << name;
    std::string data = ReadTextFile(content_ + "/pictures/2/" + name);
    EXPECT_EQ(ExpectedRecord(0, static_cast<int32_t>(data.size()), 3, name), reply.substr(90, 90));
    EXPECT_EQ(Block(data), reply.substr(180));
    seen.insert(name);
  }
  EXPECT_EQ(2u, seen.size());
  EXPECT_EQ(ExpectedRecord(8, 0, 0), Exchange(2, 2));
  EXPECT_EQ(ExpectedRecord(8, 0, 0), Exchange(2, 1));  // folder exists, no pictures yet
  EXPECT_EQ(ExpectedRecord(4, 0, 0), Exchange(2, 4));
  EXPECT_EQ(ExpectedRecord(4, 0, 0), Exchange(2, 0));
}

TEST_F(ProtocolTest, SoundBlockFollowsTheResponseDirectly) {
  Start();
  EXPECT_EQ(ExpectedRecord(0, 0, 0) + Block("RIFF....WAVEfmt ding"), Exchange(3, 1));
  EXPECT_EQ(ExpectedRecord(9, 0, 0), Exchange(3, 2));
  EXPECT_EQ(ExpectedRecord(4, 0, 0), Exchange(3, 3));
}

TEST_F(ProtocolTest, NewsAndTipsArriveWithCrLfLineEnds) {
  Start();
  EXPECT_EQ(ExpectedRecord(0, 0, 0) + Block("News line one\r\nline two\r\n"), Exchange(8));
  EXPECT_EQ(ExpectedRecord(0, 0, 0) + Block("Tip\r\n"), Exchange(9));
  ::unlink((content_ + "/tips.txt").c_str());
  EXPECT_EQ(ExpectedRecord(4, 0, 0), Exchange(9));
  WriteTextFile(content_ + "/news.txt", "");
  EXPECT_EQ(ExpectedRecord(0, 0, 0) + Block(""), Exchange(8));
}

TEST_F(ProtocolTest, CategoryListsCountTheirNames) {
  Start();
  std::string quotes("Alpha\0Beta\0Empty Quotes\0Long\0", 29);
  EXPECT_EQ(ExpectedRecord(0, 4, 0) + Block(quotes), Exchange(12, 1));
  std::string pictures("Sizes\0Empty Pictures\0Pair\0", 26);
  EXPECT_EQ(ExpectedRecord(0, 3, 0) + Block(pictures), Exchange(12, 2));
  std::string sounds("Chimes\0Quiet\0", 13);
  EXPECT_EQ(ExpectedRecord(0, 2, 0) + Block(sounds), Exchange(12, 3));
  for (int32_t type : {0, 4, -3, 99}) {
    EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(12, type)) << type;
  }
  ::unlink((content_ + "/categories/sound.txt").c_str());
  EXPECT_EQ(ExpectedRecord(0, 0, 0) + Block(""), Exchange(12, 3));
}

TEST_F(ProtocolTest, StatusLinePingAndUnknownRequests) {
  Start();
  EXPECT_EQ(ExpectedRecord(0, 0, 0, "All systems calm"), Exchange(13));
  WriteTextFile(content_ + "/status.txt", std::string(80, 's') + "\n");
  EXPECT_EQ(ExpectedRecord(0, 0, 0, std::string(49, 's')), Exchange(13));  // a NUL stays inside
  ::unlink((content_ + "/status.txt").c_str());
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(13));

  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(11));
  for (int32_t type : {0, 4, 5, 14, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(type)) << type;
  }
  // Not a Velmor client: wrong magic numbers.
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(RequestBytes(11, 0, 0, "", "12345", 3, 7)));
}

TEST_F(ProtocolTest, OneExchangePerConnection) {
  Start();
  TestConnection c;
  ASSERT_TRUE(c.Connect(port()));
  ASSERT_TRUE(c.Send(RequestBytes(11, 0, 0) + RequestBytes(11, 0, 0)));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), c.ReceiveToEnd());
}

TEST_F(ProtocolTest, AddCategoryAppendsAcceptableNewNames) {
  Start();
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(6, 3, 0, "  Birdsong  "));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(6, 2, 0, std::string(45, 'n')));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(6, 1, 0, "Ok"));
  EXPECT_EQ("Chimes\nQuiet\nBirdsong\n", ReadTextFile(content_ + "/categories/sound.txt"));
  EXPECT_EQ(ExpectedRecord(0, 3, 0) + Block(std::string("Chimes\0Quiet\0Birdsong\0", 22)), Exchange(12, 3));

  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 3, 0, "BIRDSONG"));            // duplicate
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 1, 0, " x "));                 // one character
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 1, 0, std::string(46, 'n')));  // too long
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 1, 0, std::string(50, 'm')));  // no NUL at all
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 1, 0, "Two\nLines"));
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 1, 0, "Tab\there"));
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 4, 0, "Fourth"));
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 0, 0, "Nothing"));
  EXPECT_EQ("Alpha\r\nBeta\n\nEmpty Quotes\nLong\nOk\n", ReadTextFile(content_ + "/categories/quote.txt"));

  std::string many;
  for (int i = 0; i < MaxCategories - 1; ++i) {
    many += "Category " + std::to_string(i) + "\n";
  }
  WriteTextFile(content_ + "/categories/picture.txt", many);
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Exchange(6, 2, 0, "The last one"));
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Exchange(6, 2, 0, "One too many"));
}

TEST_F(ProtocolTest, DonationIsStoredAndANameIsGivenOnce) {
  Start();
  std::string request = RequestBytes(7, 1, 2, "sunset.jpg");
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(request, "JPEG DATA"));
  EXPECT_EQ("JPEG DATA", ReadTextFile(content_ + "/donations/picture/1/sunset.jpg"));
  EXPECT_EQ(ExpectedRecord(10, 0, 0, "sunset.jpg"), Upload(request, "other"));
  EXPECT_EQ("JPEG DATA", ReadTextFile(content_ + "/donations/picture/1/sunset.jpg"));
  // The same name in another category or item type is another file.
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 0, 2, "sunset.jpg"), "2"));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 1, 3, "sunset.jpg"), "3"));

  EXPECT_EQ(ExpectedRecord(1, 0, 0), Upload(RequestBytes(7, 3, 2, "x.jpg"), "d"));   // no fourth category
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Upload(RequestBytes(7, -1, 2, "x.jpg"), "d"));
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Upload(RequestBytes(7, 0, 4, "x.jpg"), "d"));   // no such type
  EXPECT_EQ(ExpectedRecord(1, 0, 0), Upload(RequestBytes(7, 0, 0, "x.jpg"), "d"));
}

TEST_F(ProtocolTest, DonationThatCannotBeCreatedReportsTheFileError) {
  ::mkdir((content_ + "/donations").c_str(), 0755);
  WriteTextFile(content_ + "/donations/sound", "a file where a folder should be");
  Start();
  EXPECT_EQ(ExpectedRecord(5, ENOTDIR, 0), Upload(RequestBytes(7, 0, 3, "ding.wav"), "x"));
}

TEST_F(ProtocolTest, ClientStatusRecordStoresNothing) {
  Start();
  for (int32_t status : {4, 5}) {
    TestConnection c;
    ASSERT_TRUE(c.Connect(port()));
    ASSERT_TRUE(c.Send(RequestBytes(7, 0, 1, "nothing.txt")));
    std::string response;
    ASSERT_TRUE(c.ReceiveRaw(&response));
    EXPECT_EQ(ExpectedRecord(0, 0, 0), response);
    ASSERT_TRUE(c.Send(RequestBytes(status, 0, 0)));
    EXPECT_TRUE(c.ClosedByPeer(5000));
  }
  EXPECT_FALSE(FileExists(content_ + "/donations/quote/0/nothing.txt"));
  // The name was not kept: it can be donated now.
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 0, 1, "nothing.txt"), "now"));
}

TEST_F(ProtocolTest, CommentIsKeptInAFileOfItsOwnWithIdAndTime) {
  Start();
  std::string text = "Comment from id: 12345\r\nHello";
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(10, 0, 0), text));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(10, 0, 0, "", "777"), "second"));
  std::vector<std::string> files = FilesBelow(content_ + "/comments");
  ASSERT_EQ(2u, files.size());
  std::string first = ReadTextFile(content_ + "/comments/" + files[0]);
  std::string second = ReadTextFile(content_ + "/comments/" + files[1]);
  if (first.find("12345") == std::string::npos) {
    std::swap(first, second);
  }
  EXPECT_EQ(0u, first.find("Client id: 12345\nReceived: 2"));
  EXPECT_EQ(first.size() - text.size(), first.find("\n\n" + text) + 2);
  EXPECT_EQ(0u, second.find("Client id: 777\n"));
}

TEST_F(ProtocolTest, LogHasOneLinePerExchange) {
  Start();
  Exchange(1, 2);
  Exchange(12, 9);
  server_->Stop();
  std::string log = ReadTextFile(log_);
  EXPECT_NE(std::string::npos, log.find(" client=12345 type=1/quote result=0 in=90 out=181 ms="));
  EXPECT_NE(std::string::npos, log.find(" client=12345 type=12/category-list result=1 in=90 out=90 ms="));
}

} // namespace
