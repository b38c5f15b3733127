// The logs as the user and a maintainer see them: lines in the activity list
// (through the recording stub) and the exact bytes of VelmorW.log.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "config/config_file.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "base/clock.h"
#include "tests/stubs/stubs.h"

namespace fs = std::filesystem;

namespace {

const char* const TestDirectory = "velmor_log_test/";
const char* const LogPath = "velmor_log_test/VelmorW.log";

ClockParts fixedTime{3, 6, 1998, 14, 7, 9};
bool ticking = false;  // each reading of the clock one second later than the last

void FixedLocal(ClockParts* out) {
  *out = fixedTime;
  if (ticking) ClockSplit(ClockMake(fixedTime.month, fixedTime.day, fixedTime.year, fixedTime.hour,
                                    fixedTime.minute, fixedTime.second) + 1,
                          &fixedTime);
}

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Stamp(ClockParts at) {
  fixedTime = at;
  char out[TimeStampLength + 8];
  std::memset(out, '#', sizeof out);
  TimeStamp(out);
  EXPECT_EQ(std::strlen(out), 20u) << out;
  return out;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(TestDirectory);
    fs::create_directory(TestDirectory);
    std::strcpy(DataDirectory, TestDirectory);
    std::strcpy(SaveLogToDisk, "No");
    ActivityLines().clear();
    ShownMessages().clear();
    fixedTime = ClockParts{3, 6, 1998, 14, 7, 9};
    ticking = false;
    ClockSetSourcesForTesting(FixedLocal, nullptr);
    outstandingBefore = GuardedOutstanding();
  }
  void TearDown() override {
    ClockSetSourcesForTesting(nullptr, nullptr);
    DataDirectory[0] = '\0';
    fs::remove_all(TestDirectory);
    // Every guarded block was freed and none was overrun.
    EXPECT_EQ(GuardedOutstanding(), outstandingBefore);
    EXPECT_TRUE(ShownMessages().empty());
  }
  long outstandingBefore = 0;
};

const std::string Afternoon = " 3/06/1998  2:07:09p";  // the fixed time above

}  // namespace

TEST_F(LogTest, StampUsesTheTwelveHourClock) {
  EXPECT_EQ(Stamp({3, 6, 1998, 0, 5, 0}), " 3/06/1998 12:05:00a");
  EXPECT_EQ(Stamp({3, 6, 1998, 1, 0, 0}), " 3/06/1998  1:00:00a");
  EXPECT_EQ(Stamp({3, 6, 1998, 11, 59, 59}), " 3/06/1998 11:59:59a");
  EXPECT_EQ(Stamp({3, 6, 1998, 12, 30, 5}), " 3/06/1998 12:30:05p");
  EXPECT_EQ(Stamp({3, 6, 1998, 13, 0, 0}), " 3/06/1998  1:00:00p");
  EXPECT_EQ(Stamp({3, 6, 1998, 23, 59, 59}), " 3/06/1998 11:59:59p");
  EXPECT_EQ(Stamp({12, 31, 1999, 23, 59, 59}), "12/31/1999 11:59:59p");
  EXPECT_EQ(Stamp({2, 29, 2000, 0, 0, 0}), " 2/29/2000 12:00:00a");
  EXPECT_EQ(Stamp({1, 1, 2037, 9, 8, 7}), " 1/01/2037  9:08:07a");
}

TEST_F(LogTest, StampsPastJanuary2038KeepTheirYear) {
  EXPECT_EQ(Stamp({1, 19, 2038, 3, 14, 8}), " 1/19/2038  3:14:08a");
  EXPECT_EQ(Stamp({7, 4, 2099, 18, 0, 1}), " 7/04/2099  6:00:01p");
}

TEST_F(LogTest, ActivityLineGoesToTheListOnlyWhenSavingIsOff) {
  LogActivity("Event triggered: Quote");
  ASSERT_EQ(ActivityLines().size(), 1u);
  EXPECT_EQ(ActivityLines()[0], Afternoon + "-\tEvent triggered: Quote");
  EXPECT_FALSE(fs::exists(LogPath));
}

TEST_F(LogTest, ActivityLineInTheFileCarriesAFreshSecondStamp) {
  std::strcpy(SaveLogToDisk, "Yes");
  ticking = true;  // the list's stamp is taken first, the file's one second later
  LogActivity("Event triggered: Quote");
  ASSERT_EQ(ActivityLines().size(), 1u);
  const std::string listLine = " 3/06/1998  2:07:09p-\tEvent triggered: Quote";
  EXPECT_EQ(ActivityLines()[0], listLine);
  EXPECT_EQ(ReadAll(LogPath), " 3/06/1998  2:07:10p - " + listLine + "\r\n");
}

TEST_F(LogTest, OnlyAFirstLetterYMeansYes) {
  for (const char* yes : {"Yes", "yes", "Y", "y", "yikes"}) {
    fs::remove(LogPath);
    std::strcpy(SaveLogToDisk, yes);
    LogActivity("saved");
    EXPECT_EQ(ReadAll(LogPath), Afternoon + " - " + Afternoon + "-\tsaved\r\n") << "SaveLogToDisk=" << yes;
  }
  fs::remove(LogPath);
  for (const char* no : {"No", "no", "", " Yes", "True", "1", "N"}) {
    std::strcpy(SaveLogToDisk, no);
    LogActivity("not saved");
    EXPECT_FALSE(fs::exists(LogPath)) << "SaveLogToDisk=\"" << no << "\"";
  }
  EXPECT_EQ(ActivityLines().size(), 12u);  // the list has them all
}

TEST_F(LogTest, CodeAndPairForms) {
  std::strcpy(SaveLogToDisk, "Yes");
  LogActivityCode("Quote request", -3);
  LogActivityPair("Lookup failed:", "velmor.example.org");
  ASSERT_EQ(ActivityLines().size(), 2u);
  EXPECT_EQ(ActivityLines()[0], Afternoon + "-\tQuote request error: -3");
  EXPECT_EQ(ActivityLines()[1], Afternoon + "-\tLookup failed: velmor.example.org");
  EXPECT_EQ(ReadAll(LogPath), Afternoon + " - " + Afternoon + "-\tQuote request error: -3\r\n" + Afternoon + " - " +
                                  Afternoon + "-\tLookup failed: velmor.example.org\r\n");
}

TEST_F(LogTest, InternalLinesAreWrittenWhateverTheSettingAndNeverListed) {
  for (const char* setting : {"No", "Yes"}) {
    fs::remove(LogPath);
    std::strcpy(SaveLogToDisk, setting);
    LogInternal("Error 2 while performing open");
    LogInternalCode("Send failed", 10054);
    WriteLogFileLine("plain");
    EXPECT_EQ(ReadAll(LogPath), Afternoon + "-VelmorW-Error 2 while performing open\r\n" + Afternoon +
                                    "-Send failed (10054)\r\n" + Afternoon + "-plain\r\n")
        << "SaveLogToDisk=" << setting;
  }
  EXPECT_TRUE(ActivityLines().empty());
}

TEST_F(LogTest, FileIsAppendedToAndCreatedAgainWhenRemoved) {
  {
    std::ofstream old(LogPath, std::ios::binary);
    old << "earlier line\r\n";
  }
  LogInternal("one");
  EXPECT_EQ(ReadAll(LogPath), "earlier line\r\n" + Afternoon + "-VelmorW-one\r\n");
  fs::remove(LogPath);
  LogInternal("two");
  EXPECT_EQ(ReadAll(LogPath), Afternoon + "-VelmorW-two\r\n");
}

TEST_F(LogTest, ADataDirectoryEndingInABackslashHoldsTheFile) {
  // The form the program gives the directory once loaded: the log is inside
  // it, on every platform, and nothing appears beside it.
  const std::string stray = std::string(TestDirectory).substr(0, std::strlen(TestDirectory) - 1) + "\\VelmorW.log";
  std::string dir = std::string(TestDirectory).substr(0, std::strlen(TestDirectory) - 1) + "\\";
  std::strcpy(DataDirectory, dir.c_str());
  LogInternal("inside");
  EXPECT_EQ(ReadAll(LogPath), Afternoon + "-VelmorW-inside\r\n");
#ifndef _WIN32
  EXPECT_FALSE(fs::exists(stray)); // a file named "velmor_log_test\VelmorW.log"
#endif
}

TEST_F(LogTest, ADataDirectoryWithoutItsBackslashStillHoldsTheFile) {
  // A hand-edited value of 99 characters leaves no room for the backslash
  // that loading adds.
  const std::string dir = std::string(TestDirectory).substr(0, std::strlen(TestDirectory) - 1);
  fs::remove(dir + "VelmorW.log");
  std::strcpy(DataDirectory, dir.c_str());
  LogInternal("inside");
  EXPECT_EQ(ReadAll(LogPath), Afternoon + "-VelmorW-inside\r\n");
  EXPECT_FALSE(fs::exists(dir + "VelmorW.log"));
}

TEST_F(LogTest, UnopenableFileLosesTheLineQuietly) {
  std::strcpy(DataDirectory, "velmor_log_test/no such directory/");
  std::strcpy(SaveLogToDisk, "Yes");
  LogActivity("still listed");
  LogInternal("lost");
  ASSERT_EQ(ActivityLines().size(), 1u);
  EXPECT_EQ(ActivityLines()[0], Afternoon + "-\tstill listed");
  EXPECT_FALSE(fs::exists("velmor_log_test/no such directory"));
}

TEST_F(LogTest, ListKeepsTheLast500Lines) {
  for (int i = 1; i <= 501; ++i) LogActivity(("line " + std::to_string(i)).c_str());
  ASSERT_EQ(ActivityLines().size(), 500u);
  EXPECT_EQ(ActivityLines().front(), Afternoon + "-\tline 2");
  EXPECT_EQ(ActivityLines().back(), Afternoon + "-\tline 501");
}

TEST_F(LogTest, MessageOf154CharactersFitsBothLinesWhole) {
  std::strcpy(SaveLogToDisk, "Yes");
  const std::string message(154, 'm');
  LogActivity(message.c_str());
  const std::string listLine = Afternoon + "-\t" + message;
  EXPECT_EQ(ActivityLines().at(0), listLine);
  const std::string fileLine = Afternoon + " - " + listLine;
  EXPECT_EQ(fileLine.size(), 199u);
  EXPECT_EQ(ReadAll(LogPath), fileLine + "\r\n");
}

// Longer messages keep their start: every line is cut to 199 characters.
TEST_F(LogTest, LongerMessagesAreCutToTheLine) {
  std::strcpy(SaveLogToDisk, "Yes");
  std::string message;
  for (int i = 0; i < 2000; ++i) message += char('a' + i % 26);

  LogActivity(message.substr(0, 155).c_str());  // whole in the list, one short in the file
  EXPECT_EQ(ActivityLines().at(0), Afternoon + "-\t" + message.substr(0, 155));
  std::string expected = Afternoon + " - " + Afternoon + "-\t" + message.substr(0, 154) + "\r\n";
  EXPECT_EQ(ReadAll(LogPath), expected);

  fs::remove(LogPath);
  LogActivity(message.c_str());
  EXPECT_EQ(ActivityLines().at(1), Afternoon + "-\t" + message.substr(0, 177));
  EXPECT_EQ(ReadAll(LogPath), expected);

  fs::remove(LogPath);
  LogActivityCode(message.c_str(), 5);
  LogActivityPair(message.c_str(), "tail");
  EXPECT_EQ(ActivityLines().at(2), ActivityLines().at(1));
  EXPECT_EQ(ActivityLines().at(3), ActivityLines().at(1));

  fs::remove(LogPath);
  LogInternal(message.c_str());
  LogInternalCode(message.c_str(), 10060);
  WriteLogFileLine(message.c_str());
  EXPECT_EQ(ReadAll(LogPath), Afternoon + "-VelmorW-" + message.substr(0, 170) + "\r\n" + Afternoon + "-" +
                                  message.substr(0, 178) + "\r\n" + Afternoon + "-" + message.substr(0, 178) + "\r\n");

  // At the limit: stamp, dash, 174 characters and " (7)" make 199; one more
  // character and the closing parenthesis is what gets cut.
  fs::remove(LogPath);
  LogInternalCode(message.substr(0, 174).c_str(), 7);
  LogInternalCode(message.substr(0, 175).c_str(), 7);
  EXPECT_EQ(ReadAll(LogPath), Afternoon + "-" + message.substr(0, 174) + " (7)\r\n" + Afternoon + "-" +
                                  message.substr(0, 175) + " (7\r\n");
}

TEST_F(LogTest, MissingTextsAreLoggedAsEmpty) {
  std::strcpy(SaveLogToDisk, "Yes");
  LogActivity(nullptr);
  LogActivityPair(nullptr, nullptr);
  LogInternal(nullptr);
  EXPECT_EQ(ActivityLines().at(0), Afternoon + "-\t");
  EXPECT_EQ(ActivityLines().at(1), Afternoon + "-\t ");
}
