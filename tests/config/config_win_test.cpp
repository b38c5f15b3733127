// Windows only: files held by other programs, the read-only attribute, and
// the real profile calls behind the client identity.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "config/identity.h"
#include "config/profile.h"
#include "tests/config/config_fixture.h"

namespace {

using ConfigWindows = ConfigFileTest;

// Held by another program, without sharing or against replacement: the
// change waits, reads back as made, and is written once the file is free.
TEST_F(ConfigWindows, AChangeToAHeldFileWaitsAndIsWrittenOnceFree) {
  struct Case {
    DWORD sharing;
    const char* line;
  };
  const Case cases[] = {{0, nullptr}, {FILE_SHARE_READ | FILE_SHARE_WRITE, "Error 13 while performing replace cfg file"}};
  for (const Case& c : cases) {
    const std::string before = "Port=1123\r\n";
    Store(before);
    ClearInternalMessages();
    HANDLE held = CreateFileA(CfgPath().c_str(), GENERIC_READ, c.sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Set("Port", "2000");
    EXPECT_EQ(Get("Port"), "2000") << c.sharing;
    EXPECT_EQ(ConfigRetryPending(), 1) << c.sharing;
    CloseHandle(held);
    EXPECT_EQ(Bytes(), before) << c.sharing;
    EXPECT_EQ(InternalMessages(), c.line ? std::vector<std::string>{c.line} : std::vector<std::string>{})
        << "a retry while the file is still held reports nothing more";
    EXPECT_EQ(ConfigRetryPending(), 0);
    EXPECT_EQ(Bytes(), "Port                =2000\r\n");
    EXPECT_FALSE(FileExists(CfgPath() + ".new"));
  }
}

TEST_F(ConfigWindows, ReadOnlyFileIsLeftQuietly) {
  const std::string before = "Port=1123\r\n";
  Store(before);
  ASSERT_TRUE(SetFileAttributesA(CfgPath().c_str(), FILE_ATTRIBUTE_READONLY));
  Set("Port", "2000");
  EXPECT_EQ(Get("Port"), "1123");
  SetFileAttributesA(CfgPath().c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(Bytes(), before);
  EXPECT_TRUE(InternalMessages().empty());
}

class WindowsProfile : public ::testing::Test {
 protected:
  // The test's Wine prefix holds a CONTROL.INI of its own; keep whatever
  // identity entry it had.
  void SetUp() override {
    ProfileRead(ProfileFileName, "Patterns", "Habitat", saved_, sizeof saved_);
    WritePrivateProfileStringA("Patterns", "Habitat", nullptr, ProfileFileName);
  }
  void TearDown() override {
    WritePrivateProfileStringA("Patterns", "Habitat", saved_[0] ? saved_ : nullptr, ProfileFileName);
  }
  char saved_[IdentityEntrySize] = "";
};

TEST_F(WindowsProfile, NewIdentityIsStoredAndRebuilt) {
  char first[32], second[32], entry[IdentityEntrySize];
  EstablishClientIdentity(first, sizeof first);
  ProfileRead(ProfileFileName, "Patterns", "Habitat", entry, sizeof entry);
  ASSERT_GE(std::strlen(entry), 5u);
  char expected[IdentityEntrySize];
  IdentityEntryText(static_cast<uint32_t>(std::stoul(first)), expected, sizeof expected);
  EXPECT_STREQ(entry, expected);
  EstablishClientIdentity(second, sizeof second);
  EXPECT_STREQ(second, first);
}

TEST_F(WindowsProfile, StoredEntryIsRead) {
  ASSERT_EQ(ProfileWrite(ProfileFileName, "Patterns", "Habitat", "12 14 1 2 3 4 76 22 19"), 1);
  char identity[32];
  EstablishClientIdentity(identity, sizeof identity);
  EXPECT_STREQ(identity, "16909060");
}

TEST(WindowsFiles, LastWriteTimeInSecondsSince1970) {
  std::string dir = MakeTempDirectory("time");
  std::string path = JoinPath(dir, "user.dat");
  WriteFile(path, "x");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ULARGE_INTEGER t;
  t.QuadPart = 116444736000000000ULL + 900000000ULL * 10000000ULL;
  FILETIME ft = {t.LowPart, t.HighPart};
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  CloseHandle(h);
  uint32_t seconds = 0;
  EXPECT_EQ(FileLastWriteTime(path.c_str(), &seconds), 1);
  EXPECT_EQ(seconds, 900000000u);
  EXPECT_EQ(FileLastWriteTime(JoinPath(dir, "none.dat").c_str(), &seconds), 0);
  char windows[200];
  EXPECT_GT(WindowsDirectory(windows, sizeof windows), 0);
  EXPECT_EQ(GetFileAttributesA(windows) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  RemoveTempDirectory(dir);
}

}  // namespace
