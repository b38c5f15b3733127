#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/guarded.h"
#include "tests/stubs/stubs.h"

namespace {

int32_t StoredSize(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p) - 4;
  return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

class GuardedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ShownMessages().clear();
    outstandingBefore = GuardedOutstanding();
  }
  void TearDown() override { EXPECT_EQ(GuardedOutstanding(), outstandingBefore); }
  long outstandingBefore = 0;
};

}  // namespace

TEST_F(GuardedTest, BlockCarriesSizeZeroedBytesAndMarker) {
  char* p = GuardedAlloc(500);
  EXPECT_EQ(GuardedOutstanding(), outstandingBefore + 1);
  EXPECT_EQ(StoredSize(p), 500);
  EXPECT_STREQ(p, "");
  for (int i = 0; i < 500; ++i) ASSERT_EQ(p[i], 0) << "byte " << i;
  EXPECT_EQ(std::memcmp(p + 500, "Ovl.", 4), 0);
  GuardedFree(p);
  EXPECT_TRUE(ShownMessages().empty());

  // Sizes that are not multiples of 4 put the marker at an odd address.
  char* q = GuardedAlloc(13);
  EXPECT_EQ(StoredSize(q), 13);
  EXPECT_EQ(std::memcmp(q + 13, "Ovl.", 4), 0);
  GuardedFree(q);
}

TEST_F(GuardedTest, EmptyBlockHasTheMarkerRightAfterTheSize) {
  char* p = GuardedAlloc(0);
  EXPECT_EQ(StoredSize(p), 0);
  EXPECT_EQ(std::memcmp(p, "Ovl.", 4), 0);
  GuardedFree(p);
  EXPECT_TRUE(ShownMessages().empty());

  // A negative size is taken as an empty block rather than a huge one.
  char* q = GuardedAlloc(-7);
  EXPECT_EQ(StoredSize(q), 0);
  EXPECT_EQ(std::memcmp(q, "Ovl.", 4), 0);
  GuardedFree(q);
}

TEST_F(GuardedTest, FillingTheBlockExactlyIsNoOverrun) {
  char* p = GuardedAlloc(64);
  std::memset(p, 'x', 64);
  GuardedFree(p);
  EXPECT_TRUE(ShownMessages().empty());
}

TEST_F(GuardedTest, OneByteTooManyIsReportedAndTheBlockStillFreed) {
  char* p = GuardedAlloc(64);
  std::memset(p, 'x', 65);
  GuardedFree(p);
  ASSERT_EQ(ShownMessages().size(), 1u);
  EXPECT_EQ(ShownMessages()[0], "[Memory Overrun Error.]");
  // TearDown checks that no block is left outstanding.

  // Once per freed block: two damaged blocks, two messages; an intact one, none.
  char* a = GuardedAlloc(0);
  char* b = GuardedAlloc(8);
  char* c = GuardedAlloc(8);
  a[3] = '!';  // the last marker byte counts as well
  std::strcpy(b, "12345678");  // the terminator lands on the marker
  GuardedFree(a);
  GuardedFree(b);
  GuardedFree(c);
  EXPECT_EQ(ShownMessages().size(), 3u);
}

TEST_F(GuardedTest, FreeingNothingIsHarmless) {
  GuardedFree(nullptr);
  EXPECT_TRUE(ShownMessages().empty());
}
