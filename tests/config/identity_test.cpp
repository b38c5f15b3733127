// The client identity: decoding the stored entry, making a new one, and the
// basic settings that every start loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "config/identity.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "base/clock.h"
#include "tests/config/fake_profile.h"
#include "tests/config/test_support.h"
#include "tests/stubs/stubs.h"

namespace {

const std::string Habitat = ProfileEntry("CONTROL.INI", "Patterns", "Habitat");

int64_t fixedUtc = 0;
int64_t FixedUtc() { return fixedUtc; }

// A UTC second at which RandomBelow(30000) gives a value that passes test.
template <typename Test>
int64_t SecondWhereRandom(Test test) {
  for (int64_t s = 1000000000; s < 1000100000; ++s) {
    fixedUtc = s;
    if (test(RandomBelow(30000))) return s;
  }
  ADD_FAILURE() << "no such second";
  return 0;
}

class Identity : public ::testing::Test {
 protected:
  void SetUp() override {
    Profile() = FakeProfile();
    ClockSetSourcesForTesting(nullptr, FixedUtc);
  }
  void TearDown() override { ClockSetSourcesForTesting(nullptr, nullptr); }
  std::string Establish() {
    char out[32];
    EstablishClientIdentity(out, sizeof out);
    return out;
  }
};

TEST_F(Identity, EntryBytesMakeTheNumber) {
  EXPECT_EQ(IdentityDecode("12 14 1 2 3 4 76 22 19"), 1u * 16777216 + 2 * 65536 + 3 * 256 + 4);
  EXPECT_EQ(IdentityDecode("12   14  1 2    3 4"), 16909060u);
  EXPECT_EQ(IdentityDecode("12 14 255 255 255 255 76 22 19"), 4294967295u);
  EXPECT_EQ(IdentityDecode("12 14 1 2 3 4 76 22 19 9 9 9 9 9"), 16909060u);
  EXPECT_EQ(IdentityDecode("12 14 1"), 16777216u);
  EXPECT_EQ(IdentityDecode("1214 1 2 3"), 2u * 16777216 + 3 * 65536);  // the first number is never stored
  EXPECT_EQ(IdentityDecode("12 14 300 0 0 0"), 738197504u);       // 300 * 2^24 in 32 bits
  EXPECT_EQ(IdentityDecode("12 14 -1 0 0 0"), 4278190080u);
}

TEST_F(Identity, EntryTextHoldsTheBytesFromTheTop) {
  char entry[IdentityEntrySize];
  IdentityEntryText(16909060u, entry, sizeof entry);
  EXPECT_STREQ(entry, "12 14 1 2 3 4 76 22 19");
  IdentityEntryText(4294967295u, entry, sizeof entry);
  EXPECT_STREQ(entry, "12 14 255 255 255 255 76 22 19");
}

TEST_F(Identity, NewTextWrapsAndLosesItsSign) {
  EXPECT_EQ(IdentityFromText("123"), 123u);
  EXPECT_EQ(IdentityFromText("-5"), 5u);
  EXPECT_EQ(IdentityFromText("2999929999"), 4294967296u - 2999929999u);
  EXPECT_EQ(IdentityFromText("2147483648"), 2147483648u);  // the most negative 32-bit value
  EXPECT_EQ(IdentityFromText("-2147483648"), 2147483648u);
}

TEST_F(Identity, StoredEntryIsRebuiltAndNotWritten) {
  Profile().entries[Habitat] = "12 14 1 2 3 4 76 22 19";
  EXPECT_EQ(Establish(), "16909060");
  EXPECT_EQ(Profile().writes, 0);
}

TEST_F(Identity, UserDatTimeMakesTheIdentityAndLasts) {
  Profile().fileTimes["C:\\WINDOWS\\user.dat"] = 900000000u;  // 0x35A4E900
  EXPECT_EQ(Establish(), "900000000");
  EXPECT_EQ(Profile().entries[Habitat], "12 14 53 164 233 0 76 22 19");
  Profile().fileTimes.clear();
  EXPECT_EQ(Establish(), "900000000");
  EXPECT_EQ(Profile().writes, 1);
}

TEST_F(Identity, WindowsDirectoryWithBackslashGetsNoSecondOne) {
  Profile().windowsDirectory = "C:\\";
  Profile().fileTimes["C:\\user.dat"] = 1234u;
  EXPECT_EQ(Establish(), "1234");
}

TEST_F(Identity, ShortEntryIsNoIdentity) {
  Profile().entries[Habitat] = "12 1";
  Profile().fileTimes["C:\\WINDOWS\\user.dat"] = 77u;
  EXPECT_EQ(Establish(), "77");
  EXPECT_EQ(Profile().entries[Habitat], "12 14 0 0 0 77 76 22 19");
}

TEST_F(Identity, RandomIdentityIsOneNumberWrittenTwiceAndLasts) {
  int64_t second = SecondWhereRandom([](int x) { return x >= 1000 && x < 21474; });
  fixedUtc = second;
  std::string x = std::to_string(RandomBelow(30000));
  std::string first = Establish();
  EXPECT_EQ(first, x + x);
  uint32_t n = static_cast<uint32_t>(std::stoul(first));
  EXPECT_EQ(Profile().entries[Habitat], "12 14 " + std::to_string(n >> 24) + " " + std::to_string((n >> 16) & 255) +
                                            " " + std::to_string((n >> 8) & 255) + " " +
                                            std::to_string(n & 255) + " 76 22 19");
  fixedUtc = second + 1;
  EXPECT_EQ(Establish(), first);
}

TEST_F(Identity, RandomTextOverTwoToThe31IsStoredWrappedFromTheFirstRun) {
  fixedUtc = SecondWhereRandom([](int x) { return x >= 21475; });
  std::string x = std::to_string(RandomBelow(30000));
  int64_t text = std::stoll(x + x);
  ASSERT_GE(text, int64_t(1) << 31);
  std::string expected = std::to_string((int64_t(1) << 32) - text);
  EXPECT_EQ(Establish(), expected);
  EXPECT_EQ(Establish(), expected);
}

TEST_F(Identity, MostNegativeWrapStillRoundTrips) {
  Profile().fileTimes["C:\\WINDOWS\\user.dat"] = 2147483648u;
  EXPECT_EQ(Establish(), "2147483648");
  EXPECT_EQ(Profile().entries[Habitat], "12 14 128 0 0 0 76 22 19");
  EXPECT_EQ(Establish(), "2147483648");
}

class BasicSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    Profile() = FakeProfile();
    Profile().fileTimes["C:\\WINDOWS\\user.dat"] = 880000000u;
    start_ = MakeTempDirectory("start");
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(start_);
    DataDirectory[0] = '\0';
    ClearInternalMessages();
    blocks_ = GuardedOutstanding();
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    RemoveTempDirectory(start_);
    DataDirectory[0] = '\0';
    EXPECT_EQ(GuardedOutstanding(), blocks_);
    EXPECT_TRUE(ShownMessages().empty());
  }
  std::string start_;
  std::filesystem::path previous_;
  long blocks_ = 0;
};

TEST_F(BasicSettings, FirstRunWritesTheFiveKeysInOrder) {
  LoadBasicSettings(ConfigFileName);
  const std::string expected =
      "Directory  =  \r\nPort  =  1123\r\nVServerID  =  localhost\r\nSaveLogToDisk  =  No\r\nPlimSwitch  =  No\r\n";
  EXPECT_EQ(ReadFile(JoinPath(start_, "velmor.cfg")), expected);
  EXPECT_STREQ(DataDirectory, "");
  EXPECT_STREQ(ServerPort, "1123");
  EXPECT_STREQ(ServerHost, "localhost");
  EXPECT_STREQ(SaveLogToDisk, "No");
  EXPECT_STREQ(PlimSwitch, "No");
  EXPECT_STREQ(ClientIdentity, "880000000");
  EXPECT_EQ(Profile().entries[Habitat], "12 14 52 115 188 0 76 22 19");
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{"Error 2 while performing DosOpen config file"});

  // A second start finds everything and changes nothing.
  ClearInternalMessages();
  Profile().fileTimes.clear();
  ClientIdentity[0] = '\0';
  LoadBasicSettings(ConfigFileName);
  EXPECT_EQ(ReadFile(JoinPath(start_, "velmor.cfg")), expected);
  EXPECT_STREQ(ClientIdentity, "880000000");
  EXPECT_TRUE(InternalMessages().empty());
  EXPECT_EQ(Profile().writes, 1);
}

TEST_F(BasicSettings, DirectoryGainsItsBackslashInMemoryOnly) {
  std::string data = MakeTempDirectory("data");
  const std::string here = "Directory = " + data + "\r\nPort=99\r\n";
  WriteFile(JoinPath(start_, "velmor.cfg"), here);
  WriteFile(JoinPath(data, "velmor.cfg"), "SaveLogToDisk=yes\r\nPort=2000\r\n");
  LoadBasicSettings(ConfigFileName);
  EXPECT_EQ(std::string(DataDirectory), data + "\\");
  EXPECT_EQ(ReadFile(JoinPath(start_, "velmor.cfg")), here);
  // Every key after Directory comes from the data directory's file.
  EXPECT_STREQ(ServerPort, "2000");
  EXPECT_STREQ(SaveLogToDisk, "yes");
  EXPECT_EQ(ReadFile(JoinPath(data, "velmor.cfg")),
            "SaveLogToDisk=yes\r\nPort=2000\r\nVServerID  =  localhost\r\nPlimSwitch  =  No\r\n");
  RemoveTempDirectory(data);
}

TEST_F(BasicSettings, LongValuesAreCutToTheirSettings) {
  WriteFile(JoinPath(start_, "velmor.cfg"),
             "Port=123456789012345\r\nPlimSwitch=Yes please, always\r\nVServerID=" + std::string(300, 'h') + "\r\n");
  LoadBasicSettings(ConfigFileName);
  EXPECT_STREQ(ServerPort, "1234567890");
  EXPECT_STREQ(PlimSwitch, "Yes please");
  EXPECT_EQ(std::string(ServerHost), std::string(190, 'h'));
}

}  // namespace
