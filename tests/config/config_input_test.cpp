// Damaged and oversized input, the limits of the fixed buffers, and the
// small text helpers that every setting goes through.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <random>

#include "base/text_encoding.h"
#include "tests/config/config_fixture.h"

namespace {

using namespace std::string_literals;
using ConfigInput = ConfigFileTest;

TEST_F(ConfigInput, RandomBytesAreReadAndRewrittenKeepingEveryLine) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 20; ++round) {
    std::string junk(1 + random() % 3000, '\0');
    // Bias towards the bytes that matter to the format.
    const char specials[] = {'\r', '\n', '=', ' ', '\0', '\t'};
    for (char& c : junk) c = random() % 4 == 0 ? specials[random() % 6] : static_cast<char>(random());
    Store(junk);
    Get("Port");
    Get("");
    Set("Port", "2000");
    ASSERT_EQ(Bytes(), ExpectedRewrite(junk, "Port", "2000")) << "round " << round;
    EXPECT_EQ(Get("Port"), "2000");
  }
}

TEST_F(ConfigInput, NulByteDoesNotCutTheFile) {
  const std::string before = "A=1\r\nB=x\0y\r\nC=3\r\nNoEquals\0\r\n"s;
  Store(before);
  EXPECT_EQ(Get("C"), "3");
  EXPECT_EQ(Get("B"), "<absent>");
  Set("A", "2");
  EXPECT_EQ(Bytes(), "A                   =2\r\nB=x\0y\r\nC=3\r\n"s);
  Set("B", "4");
  EXPECT_EQ(Get("B"), "4");
  EXPECT_EQ(Bytes(), "A                   =2\r\nB=x\0y\r\nC=3\r\nB  =  4\r\n"s);
}

TEST_F(ConfigInput, TenMegabyteLineIsKeptAndNeverMatched) {
  std::string huge = "X=" + std::string(10 * 1024 * 1024, 'x');
  Store("A=1\r\n" + huge + "\r\nC=3");
  EXPECT_EQ(Get("C"), "3");
  EXPECT_EQ(Get("X"), "<absent>");
  Set("C", "4");
  EXPECT_EQ(Bytes(), "A=1\r\n" + huge + "\r\nC                   =4\r\n");
  // A long line without an equals sign goes like any other such line.
  Store("A=1\r\n" + std::string(600, 'y') + "\r\n");
  Set("A", "5");
  EXPECT_EQ(Bytes(), "A                   =5\r\n");
}

TEST_F(ConfigInput, LinesUpTo499CharactersAreSettings) {
  std::string fits = "K=" + std::string(497, 'v');       // 499 characters
  std::string tooLong = "L=" + std::string(498, 'v');    // 500 characters
  Store(fits + "\r\n" + tooLong + "\r\n");
  EXPECT_EQ(Get("K"), std::string(497, 'v'));
  EXPECT_EQ(Get("L"), "<absent>");
  Set("L", "short");
  EXPECT_EQ(Bytes(), fits + "\r\n" + tooLong + "\r\nL  =  short\r\n");
  EXPECT_EQ(Get("L"), "short");
}

TEST_F(ConfigInput, FilesWithoutAnyLineEnd) {
  Store("A=1");
  EXPECT_EQ(Get("A"), "1");
  Set("B", "2");
  EXPECT_EQ(Bytes(), "A=1\r\nB  =  2\r\n");

  Store("\r");
  EXPECT_EQ(Get("A"), "<absent>");
  Set("A", "1");
  EXPECT_EQ(Bytes(), "A  =  1\r\n");

  Store("");
  EXPECT_EQ(Get("A"), "<absent>");
  EXPECT_TRUE(InternalMessages().empty());
  Set("A", "1");
  EXPECT_EQ(Bytes(), "A  =  1\r\n");
}

TEST_F(ConfigInput, LongValueIsCutToTheCallersBuffer) {
  Store("Host = abcdefghij\r\n");
  char out[8];
  std::memset(out, '#', sizeof out);
  ASSERT_EQ(ConfigGet(out, 5, "Host", ConfigFileName), 1);
  EXPECT_STREQ(out, "abcd");
  EXPECT_EQ(out[5], '#') << "wrote past the given size";
  ASSERT_EQ(ConfigGet(out, 1, "Host", ConfigFileName), 1);
  EXPECT_STREQ(out, "");

  char small[4];
  ConfigGetDefault(small, sizeof small, "Missing", "a long default", ConfigFileName);
  EXPECT_STREQ(small, "a l");
  EXPECT_EQ(Get("Missing"), "a long default");
}

// A velmor.cfg of an older program holds names in the legacy code page:
// read as UTF-8 (by ConfigGet and the view alike), written back as UTF-8 when
// changed, every other line left as it was.
TEST_F(ConfigInput, LegacyCodePageValuesAreReadAsUtf8) {
  const std::string legacy = "DONATE-2-0  =  C:\\Bilder\\M\xFCller.jpg\r\n"
                             "Sign = \x80 \x9F \x81\r\n"
                             "Photo = \xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.jpg\r\n"
                             "Mixed = \xD1\x84 \xFC\r\n"
                             "Overlong = \xC0\xAF \xED\xA0\x80\r\n";
  Store(legacy);
  EXPECT_EQ(Get("DONATE-2-0"), "C:\\Bilder\\M\xC3\xBCller.jpg");
  EXPECT_EQ(Get("Sign"), "\xE2\x82\xAC \xC5\xB8 \xC2\x81");
  EXPECT_EQ(Get("Photo"), "\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.jpg");  // UTF-8 already
  EXPECT_EQ(Get("Mixed"), "\xC3\x91\xE2\x80\x9E \xC3\xBC");
  EXPECT_EQ(Get("Overlong"), "\xC3\x80\xC2\xAF \xC3\xAD\xC2\xA0\xE2\x82\xAC");
  // Cut to the caller's buffer before a whole character, in either form.
  EXPECT_EQ(Get("DONATE-2-0", 13), "C:\\Bilder\\M");
  EXPECT_EQ(Get("Photo", 6), "\xD1\x84\xD0\xBE");

  ConfigView view;
  ConfigViewLoad(&view, ConfigFileName);
  for (const char* key : {"DONATE-2-0", "Sign", "Photo", "Mixed", "Overlong"}) {
    char fromView[100];
    ASSERT_EQ(ConfigViewGet(&view, fromView, sizeof fromView, key), 1);
    EXPECT_EQ(fromView, Get(key)) << key;
  }
  ConfigViewRelease(&view);

  // What the program read is what it writes back.
  Set("DONATE-2-0", Get("DONATE-2-0").c_str());
  EXPECT_EQ(Bytes(), "DONATE-2-0          =C:\\Bilder\\M\xC3\xBCller.jpg\r\n" + legacy.substr(legacy.find("Sign")));

  // A program whose own code page is the legacy one takes the bytes as they are.
  SetLegacyDecoder(nullptr);
  EXPECT_EQ(Get("Sign"), "\x80 \x9F \x81");
  EXPECT_EQ(Get("Photo", 6), "\xD1\x84\xD0\xBE\xD1");
  SetLegacyDecoder(DecodeWindows1252);
}

TEST_F(ConfigInput, WrittenLinesStayReadable) {
  Store("Keep=me\r\n");
  std::string longValue(700, 'v');
  Set("Big", longValue.c_str());
  std::string stored = Get("Big");
  EXPECT_EQ(stored, std::string(499 - 21, 'v'));
  Set("Big", longValue.c_str());  // now in the column form, still one line
  EXPECT_EQ(Bytes(), "Keep=me\r\nBig                 =" + stored + "\r\n");

  // A CR would start a line of its own; the value ends before it.
  Set("Two", "first\rSneaky=1");
  EXPECT_EQ(Get("Two"), "first");
  EXPECT_EQ(Get("Sneaky"), "<absent>");
}

TEST_F(ConfigInput, KeysThatCannotBeReadBackAreRefused) {
  Store("Keep=me\r\n");
  for (const char* key : {"a=b", " lead", "trail ", "cr\rkey"}) {
    ClearInternalMessages();
    Set(key, "v");
    EXPECT_EQ(Bytes(), "Keep=me\r\n") << key;
    EXPECT_EQ(InternalMessages(), std::vector<std::string>{"Error " + std::to_string(EINVAL) +
                                                           " while performing check cfg key"});
  }
  std::string longest(494, 'k');
  Set(longest.c_str(), "value");
  EXPECT_EQ(Get(longest.c_str()), "");  // the key fits; no room is left for the value
  std::string tooLong(495, 'k');
  Set(tooLong.c_str(), "v");
  EXPECT_EQ(Get(tooLong.c_str()), "<absent>");
}

TEST_F(ConfigInput, OverlongPathIsRefusedAsAFileThatCannotBeOpened) {
  std::string name(ConfigPathMax, 'n');
  Set("Port", "1");
  ClearInternalMessages();
  char out[50] = "";
  EXPECT_EQ(ConfigGet(out, sizeof out, "Port", name.c_str()), 0);
  ConfigSet("Port", "2", name.c_str());
  ConfigGetDefault(out, sizeof out, "Port", "3", name.c_str());
  EXPECT_STREQ(out, "3");
  std::string line = "Error " + std::to_string(ENAMETOOLONG) + " while performing DosOpen config file";
  EXPECT_EQ(InternalMessages(), (std::vector<std::string>{line, line, line}));
  EXPECT_EQ(Bytes(), "Port  =  1\r\n");
}

TEST_F(ConfigInput, MissingDirectoryLosesTheWriteQuietly) {
  // The log file would go to the missing directory too, so only what
  // happens to the files can be seen here.
  UseDataDirectory(JoinPath(dir_, "gone"));
  Set("Port", "1");
  EXPECT_EQ(Get("Port"), "<absent>");
  char out[20];
  ConfigGetDefault(out, sizeof out, "Port", "1123", ConfigFileName);
  EXPECT_STREQ(out, "1123");
  EXPECT_FALSE(FileExists(JoinPath(dir_, "gone")));
  UseDataDirectory(dir_);
}

TEST_F(ConfigInput, ReadOnlyFileIsNeitherWrittenNorReplaced) {
  const std::string before = "Port=1\r\n";
  Store(before);
  namespace fs = std::filesystem;
  fs::permissions(CfgPath(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  bool stillWritable = static_cast<bool>(std::ofstream(CfgPath(), std::ios::app));
  if (stillWritable) {
    fs::permissions(CfgPath(), fs::perms::owner_write, fs::perm_options::add);
    GTEST_SKIP() << "running with rights that ignore read-only files";
  }
  Set("Port", "2");
  Set("Other", "3");
  EXPECT_EQ(Get("Port"), "1");
  fs::permissions(CfgPath(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Bytes(), before);
  EXPECT_TRUE(InternalMessages().empty());
}

TEST_F(ConfigInput, WriteLeavesNoSideFileButTheLock) {
  Store("A=1\r\n");
  Set("A", "2");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"velmor.cfg", "velmor.cfg.lock"}));
}

TEST(ConfigText, NextTextLineSplitsAtCrOnly) {
  const char text[] = "a\r\nb\rc\nd\r\r\ne";
  TextCursor cursor;
  TextCursorStart(&cursor, text, sizeof text - 1);
  std::vector<std::string> lines;
  const char* line;
  std::size_t length;
  while (NextTextLine(&cursor, &line, &length)) lines.emplace_back(line, length);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c\nd", ""}));
  EXPECT_EQ(NextTextLine(&cursor, &line, &length), 0);
}

TEST(ConfigText, TrimSpacesTouchesSpacesOnly) {
  char a[] = "   two words  ";
  EXPECT_STREQ(TrimSpaces(a), "two words");
  char b[] = "\t tab \t";
  EXPECT_STREQ(TrimSpaces(b), "\t tab \t");
  char c[] = "     ";
  EXPECT_STREQ(TrimSpaces(c), "");
}

TEST(ConfigText, AddBackslashOnlyWhereNeededAndRoomy) {
  char path[8] = "C:\\a";
  AddBackslash(path, sizeof path);
  EXPECT_STREQ(path, "C:\\a\\");
  AddBackslash(path, sizeof path);
  EXPECT_STREQ(path, "C:\\a\\");
  char empty[4] = "";
  AddBackslash(empty, sizeof empty);
  EXPECT_STREQ(empty, "");
  char full[5] = "abcd";
  AddBackslash(full, sizeof full);
  EXPECT_STREQ(full, "abcd");
}

TEST(ConfigText, DecimalValueIsLenientAndWraps) {
  EXPECT_EQ(DecimalValue("1123"), 1123);
  EXPECT_EQ(DecimalValue(" \t-42abc"), -42);
  EXPECT_EQ(DecimalValue("+7"), 7);
  EXPECT_EQ(DecimalValue("abc"), 0);
  EXPECT_EQ(DecimalValue(""), 0);
  EXPECT_EQ(DecimalValue("- 5"), 0);
  EXPECT_EQ(DecimalValue("2147483648"), INT_MIN);
  EXPECT_EQ(DecimalValue("4294967297"), 1);
  EXPECT_EQ(DecimalValue("-2147483648"), INT_MIN);
}

TEST(ConfigText, YesIsTheFirstLetterOnly) {
  EXPECT_TRUE(IsYes("Yes"));
  EXPECT_TRUE(IsYes("yikes"));
  EXPECT_FALSE(IsYes("No"));
  EXPECT_FALSE(IsYes(" Yes"));
  EXPECT_FALSE(IsYes(""));
}

}  // namespace
