// Blocks of 0, 1, 4096, 999,999 and 10 MB bytes, both ways.
#include "server_fixture.h"

namespace {

using BlocksTest = ServerFixture;

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  uint32_t x = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

const std::size_t Sizes[] = {0, 1, 4096, 999999, 10 * 1024 * 1024};

TEST_F(BlocksTest, PicturesOfEverySizeArriveWhole) {
  Start();
  for (std::size_t size : Sizes) {
    SCOPED_TRACE(size);
    std::string data = Pattern(size);
    // One picture in the category at a time.
    for (const std::string& old : FilesBelow(content_ + "/pictures/0")) {
      ::unlink((content_ + "/pictures/0/" + old).c_str());
    }
    WriteTextFile(content_ + "/pictures/0/p" + std::to_string(size), data);
    std::string reply = Exchange(2, 1);
    ASSERT_EQ(270 + size, reply.size());
    EXPECT_EQ(ExpectedRecord(0, static_cast<int32_t>(size), 1, "p" + std::to_string(size)), reply.substr(90, 90));
    EXPECT_EQ(ExpectedRecord(0, 4096, static_cast<int32_t>(size)), reply.substr(180, 90));
    EXPECT_TRUE(reply.compare(270, std::string::npos, data) == 0);
  }
}

TEST_F(BlocksTest, TextBlocksOfTheClientsMemoryLimit) {
  Start();
  std::string reply = Exchange(1, 4);  // the Long category: one quote of 999,999 bytes
  ASSERT_EQ(180u + 999999u, reply.size());
  EXPECT_EQ(ExpectedRecord(0, 4096, 999999), reply.substr(90, 90));
  EXPECT_EQ(std::string(999999, 'q'), reply.substr(180));
}

TEST_F(BlocksTest, DonationsOfEverySizeAreStoredExactly) {
  StartWith([](ServerOptions& o) { o.max_donation_bytes = 10 * 1024 * 1024; });
  for (std::size_t size : Sizes) {
    SCOPED_TRACE(size);
    std::string name = "gift" + std::to_string(size) + ".bin";
    std::string data = Pattern(size);
    EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 2, 2, name), data));
    std::string stored = content_ + "/donations/picture/2/" + name;
    if (size == 0) {
      // Nothing to keep: a client never sends an empty file.
      EXPECT_FALSE(FileExists(stored));
    } else {
      EXPECT_TRUE(ReadTextFile(stored) == data);
    }
  }
  EXPECT_TRUE(FilesBelow(content_ + "/donations/.incoming").empty());
}

TEST_F(BlocksTest, ChunkSizeOfTheClientsHeaderDoesNotMatter) {
  Start();
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 0, 1, "zero-chunk.txt"), "abc", 0));
  EXPECT_EQ(ExpectedRecord(0, 0, 0), Upload(RequestBytes(7, 0, 1, "negative-chunk.txt"), "def", -4096));
  EXPECT_EQ("abc", ReadTextFile(content_ + "/donations/quote/0/zero-chunk.txt"));
  EXPECT_EQ("def", ReadTextFile(content_ + "/donations/quote/0/negative-chunk.txt"));
}

} // namespace
