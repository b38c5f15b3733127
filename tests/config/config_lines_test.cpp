// The file's line forms: how lines are read, matched and written back.
#include "tests/config/config_fixture.h"

namespace {

using ConfigLines = ConfigFileTest;

TEST_F(ConfigLines, KeyAndValueLoseSpacesAndKeysIgnoreCase) {
  Store("   Port   =   1123   \r\n");
  EXPECT_EQ(Get("port"), "1123");
  EXPECT_EQ(Get("PORT"), "1123");
  EXPECT_EQ(Get("Por"), "<absent>");
}

TEST_F(ConfigLines, ValueKeepsEqualsSignsAndTabs) {
  Store("Formula = a=b = c \r\nTabbed=\tx\t\r\n");
  EXPECT_EQ(Get("Formula"), "a=b = c");
  EXPECT_EQ(Get("Tabbed"), "\tx\t");
}

TEST_F(ConfigLines, TabBeforeEqualsSignIsPartOfTheKey) {
  Store("Port\t= 5\r\n");
  EXPECT_EQ(Get("Port"), "<absent>");
  EXPECT_EQ(Get("Port\t"), "5");
}

TEST_F(ConfigLines, EmptyValueIsFoundAndDefaultNotWritten) {
  const std::string before = "Directory     =\r\n";
  Store(before);
  EXPECT_EQ(Get("Directory"), "");
  char out[100] = "untouched";
  ConfigGetDefault(out, sizeof out, "Directory", "C:\\elsewhere", ConfigFileName);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(Bytes(), before);
}

TEST_F(ConfigLines, FirstDuplicateIsReadAndEveryDuplicateIsWritten) {
  Store("Port=1\r\nHost=h\r\nport = 2\r\n");
  EXPECT_EQ(Get("Port"), "1");
  Set("Port", "3");
  EXPECT_EQ(Bytes(), "Port                =3\r\nHost=h\r\nPort                =3\r\n");
}

TEST_F(ConfigLines, ViewAnswersAsTheFileReads) {
  const std::string longLine = "Long=" + std::string(600, 'x');
  Store("b=2\r\n  Apple  =  red  \r\nAPPLE=green\r\n" + longLine + "\r\nLong=short\r\nno equals\r\n" +
        std::string("Nul=a\0b\r\nnul=c\r\n", 16) + "Empty=\r\nLast=tail");
  ConfigView view;
  ConfigViewLoad(&view, ConfigFileName);
  for (const char* key : {"apple", "APPLE", "b", "B", "Long", "Nul", "Empty", "Last", "no equals", "c", "", "Appl"}) {
    char fromFile[8] = "<none>", fromView[8] = "<none>";
    EXPECT_EQ(ConfigViewGet(&view, fromView, sizeof fromView, key),
              ConfigGet(fromFile, sizeof fromFile, key, ConfigFileName))
        << key;
    EXPECT_STREQ(fromView, fromFile) << key;
  }
  ConfigViewRelease(&view);
  // A view does not follow the file: it is the file as it was.
  ConfigViewLoad(&view, ConfigFileName);
  Set("b", "3");
  char value[8];
  ASSERT_TRUE(ConfigViewGet(&view, value, sizeof value, "b"));
  EXPECT_STREQ(value, "2");
  ConfigViewRelease(&view);
  // No file: every key is absent.
  std::filesystem::remove(CfgPath());
  ConfigViewLoad(&view, ConfigFileName);
  EXPECT_EQ(ConfigViewGet(&view, value, sizeof value, "b"), 0);
  ConfigViewRelease(&view);
}

TEST_F(ConfigLines, WriteDropsLinesWithoutEqualsSignAndKeepsOthersUntrimmed) {
  Store("\r\n; remark\r\n  Host  =  h  \r\n   \r\nA=1\r\n\r\n");
  Set("A", "2");
  EXPECT_EQ(Bytes(), "  Host  =  h  \r\nA                   =2\r\n");
}

TEST_F(ConfigLines, ReplacedLineIsFilledToTwentyColumns) {
  Store("Port  =  1123\r\nAKeyOfTwentyFiveLetters25=old\r\nExactlyTwentyLetters=old\r\n");
  Set("Port", "2000");
  Set("AKeyOfTwentyFiveLetters25", "new");
  Set("ExactlyTwentyLetters", "new");
  EXPECT_EQ(Bytes(),
            "Port                =2000\r\n"
            "AKeyOfTwentyFiveLetters25=new\r\n"
            "ExactlyTwentyLetters=new\r\n");
}

TEST_F(ConfigLines, AbsentKeyIsAppendedSpacedThenReplacedInColumns) {
  Store("A=1\r\n");
  Set("NewKey", "v");
  EXPECT_EQ(Bytes(), "A=1\r\nNewKey  =  v\r\n");
  Set("NewKey", "w");
  EXPECT_EQ(Bytes(), "A=1\r\nNewKey              =w\r\n");
}

TEST_F(ConfigLines, KeyIsWrittenAsTheCallerSpellsIt) {
  Store("Port=1123\r\n");
  Set("PORT", "80");
  EXPECT_EQ(Bytes(), "PORT                =80\r\n");
}

TEST_F(ConfigLines, LastLineWithoutLineEndIsReadAndRewritten) {
  Store("A=1\r\nB=2");
  EXPECT_EQ(Get("B"), "2");
  Set("C", "3");
  EXPECT_EQ(Bytes(), "A=1\r\nB=2\r\nC  =  3\r\n");
}

TEST_F(ConfigLines, LoneCrEndsALineAndLfAloneDoesNot) {
  Store("A=1\rB=2\nC=3\r\n");
  EXPECT_EQ(Get("A"), "1");
  EXPECT_EQ(Get("B"), "2\nC=3");
  EXPECT_EQ(Get("C"), "<absent>");
  Set("A", "9");
  EXPECT_EQ(Bytes(), "A                   =9\r\nB=2\nC=3\r\n");
}

TEST_F(ConfigLines, LfOnlyFileIsOneLine) {
  Store("A=1\nB=2\nC=3\n");
  EXPECT_EQ(Get("A"), "1\nB=2\nC=3\n");
  EXPECT_EQ(Get("B"), "<absent>");
}

TEST_F(ConfigLines, MissingFileIsCreatedByDefaultsWithOneLogLine) {
  char out[100];
  ConfigGetDefault(out, sizeof out, "Port", "1123", ConfigFileName);
  EXPECT_STREQ(out, "1123");
  ConfigGetDefault(out, sizeof out, "VServerID", "localhost", ConfigFileName);
  EXPECT_STREQ(out, "localhost");
  EXPECT_EQ(Bytes(), "Port  =  1123\r\nVServerID  =  localhost\r\n");
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{"Error 2 while performing DosOpen config file"});
}

TEST_F(ConfigLines, MissingFileIsCreatedByASetWithoutLogLine) {
  Set("Port", "1");
  EXPECT_EQ(Bytes(), "Port  =  1\r\n");
  EXPECT_TRUE(InternalMessages().empty());
}

TEST_F(ConfigLines, MissingFileReadLogsTheMissingFile) {
  EXPECT_EQ(Get("Port"), "<absent>");
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{"Error 2 while performing DosOpen config file"});
  EXPECT_FALSE(FileExists(CfgPath()));
}

TEST_F(ConfigLines, EmptyDataDirectoryMeansTheCurrentDirectory) {
  std::string other = MakeTempDirectory("cwd");
  auto previous = std::filesystem::current_path();
  std::filesystem::current_path(other);
  DataDirectory[0] = '\0';
  ConfigSet("Here", "1", ConfigFileName);
  std::filesystem::current_path(previous);
  EXPECT_EQ(ReadFile(JoinPath(other, ConfigFileName)), "Here  =  1\r\n");
  EXPECT_FALSE(FileExists(CfgPath()));
  RemoveTempDirectory(other);
}

}  // namespace
