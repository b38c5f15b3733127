// Failures of the file calls, driven through an in-memory disk: what reaches
// the internal log, and that the file is never lost or left half written.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

#include "base/clock.h"
#include "config/config_file.h"
#include "base/guarded.h"
#include "tests/config/fake_file_ops.h"
#include "tests/config/test_support.h"
#include "tests/stubs/stubs.h"

namespace {

// The file lives on the in-memory disk; the data directory is a real one
// only so that the internal log has a place for its file.
std::string Cfg, NewCfg, LockFile;
const std::string Before = "Port=1123\r\nHost=h\r\n";

std::string Line(int error, const char* operation) {
  return "Error " + std::to_string(error) + " while performing " + operation;
}

class ConfigErrors : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDisk();
    dir_ = MakeTempDirectory("err");
    UseDataDirectory(dir_);
    Cfg = std::string(DataDirectory) + ConfigFileName;
    NewCfg = Cfg + ".new";
    LockFile = Cfg + ".lock";
    ClearInternalMessages();
    ShownMessages().clear();
    blocks_ = GuardedOutstanding();
  }
  void TearDown() override {
    EXPECT_EQ(GuardedOutstanding(), blocks_) << "guarded blocks leaked";
    EXPECT_TRUE(ShownMessages().empty());
    ClearInternalMessages();
    DataDirectory[0] = '\0';
    RemoveTempDirectory(dir_);
  }
  std::string Get(const char* key) {
    char out[100];
    return ConfigGet(out, sizeof out, key, ConfigFileName) ? out : "<absent>";
  }
  bool Created() const {
    for (const auto& e : Disk().events)
      if (e.rfind("create", 0) == 0) return true;
    return false;
  }
  std::string dir_;
  long blocks_ = 0;
};

TEST_F(ConfigErrors, MissingFileIsErrorTwoOnOpen) {
  EXPECT_EQ(Get("Port"), "<absent>");
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{Line(2, "DosOpen config file")});
}

TEST_F(ConfigErrors, FileThatCannotBeOpenedIsNotReplacedByANewOne) {
  Disk().files[Cfg] = Before;
  Disk().openError = EACCES;  // locked by another program, or no access
  EXPECT_EQ(Get("Port"), "<absent>");
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{Line(13, "DosOpen config file")});

  ClearInternalMessages();
  char out[20];
  ConfigGetDefault(out, sizeof out, "Port", "1123", ConfigFileName);
  EXPECT_STREQ(out, "1123");
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{Line(13, "DosOpen config file")});
  EXPECT_EQ(Disk().files[Cfg], Before);
  Disk().openError = 0;
  EXPECT_EQ(ConfigRetryPending(), 0) << "a default is not kept for later";
  EXPECT_EQ(Disk().files[Cfg], Before);
}

// velmor.cfg held by another program (opened without sharing, or in the way
// of the replacement): the change waits, reads back as made, later changes
// queue behind it, and all are written once the file is free; a wait of a
// minute is told to the user once.
TEST_F(ConfigErrors, AHeldFileKeepsTheChangeUntilItIsFree) {
  int32_t now = 1000000;
  static int32_t* clock = &now;
  ClockSetSourcesForTesting(
      [](ClockParts* out) {
        ClockSplit(*clock, out);
      },
      nullptr);
  std::vector<bool> requests;
  static std::vector<bool>* seen = &requests;
  ConfigRetryLater = [](bool waiting) { seen->push_back(waiting); };
  for (int FakeDisk::*held : {&FakeDisk::openError, &FakeDisk::replaceError}) {
    ResetDisk();
    ClearInternalMessages();
    requests.clear();
    Disk().files[Cfg] = Before;
    Disk().*held = EACCES;
    ConfigSet("PlimSwitch", "Yes", ConfigFileName);
    ConfigSet("Port", " 2000 ", ConfigFileName);
    EXPECT_EQ(Disk().files[Cfg], Before);
    EXPECT_EQ(Get("plimswitch"), "Yes");
    EXPECT_EQ(Get("Port"), "2000");
    ConfigView view;
    ConfigViewLoad(&view, ConfigFileName);
    char out[20] = "";
    EXPECT_EQ(ConfigViewGet(&view, out, sizeof out, "PlimSwitch"), 1);
    EXPECT_STREQ(out, "Yes");
    ConfigViewRelease(&view);
    EXPECT_EQ(ConfigRetryPending(), 2);
    EXPECT_EQ(requests, std::vector<bool>{true});
    EXPECT_TRUE(ShownMessages().empty());

    now += ConfigHeldReportSeconds;
    EXPECT_EQ(ConfigRetryPending(), 2);
    EXPECT_EQ(ConfigRetryPending(), 2);
    EXPECT_EQ(ShownMessages(), std::vector<std::string>{ConfigHeldText});
    ShownMessages().clear();

    Disk().*held = 0;
    EXPECT_EQ(ConfigRetryPending(), 0);
    EXPECT_EQ(Disk().files[Cfg], "Port                = 2000 \r\nHost=h\r\nPlimSwitch  =  Yes\r\n");
    EXPECT_EQ(requests, (std::vector<bool>{true, false}));
  }
  ConfigRetryLater = nullptr;
  ClockSetSourcesForTesting(nullptr, nullptr);
}

TEST_F(ConfigErrors, FailedLengthEndsReadAndWrite) {
  Disk().files[Cfg] = Before;
  Disk().lengthError = EIO;
  EXPECT_EQ(Get("Port"), "<absent>");
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(InternalMessages(),
            (std::vector<std::string>{Line(EIO, "Getting file length"), Line(EIO, "Getting file length")}));
  EXPECT_FALSE(Created());
  EXPECT_EQ(Disk().files[Cfg], Before);
}

TEST_F(ConfigErrors, OversizedFileIsRefusedAsAFailedLength) {
  Disk().files[Cfg] = Before;
  Disk().reportedLength = ConfigFileMaxLength + 1;
  EXPECT_EQ(Get("Port"), "<absent>");
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(InternalMessages(),
            (std::vector<std::string>{Line(EFBIG, "Getting file length"), Line(EFBIG, "Getting file length")}));
  EXPECT_EQ(Disk().files[Cfg], Before);
}

TEST_F(ConfigErrors, FailedReadIsLoggedReadGoesOnWriteStops) {
  Disk().files[Cfg] = Before;
  Disk().readError = EIO;
  Disk().readErrorAfter = 11;  // "Port=1123\r\n" arrives, the rest does not
  EXPECT_EQ(Get("Port"), "1123");
  EXPECT_EQ(Get("Host"), "<absent>");
  EXPECT_EQ(InternalMessages(), (std::vector<std::string>{Line(EIO, "read cfg file"), Line(EIO, "read cfg file")}));

  // Rewriting from part of the file would lose the rest.
  ClearInternalMessages();
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{Line(EIO, "read cfg file")});
  EXPECT_FALSE(Created());
  EXPECT_EQ(Disk().files[Cfg], Before);
}

TEST_F(ConfigErrors, FailedCloseIsLoggedAndWorkGoesOn) {
  Disk().files[Cfg] = Before;
  Disk().closeError = EIO;
  EXPECT_EQ(Get("Host"), "h");
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(InternalMessages(),
            (std::vector<std::string>{Line(EIO, "DosClose configfile"), Line(EIO, "DosClose configfile")}));
  EXPECT_EQ(Disk().files[Cfg], "Port                =2000\r\nHost=h\r\n");
}

// A caller that falls back to ConfigGet when the whole file cannot be had
// must find nothing reported by the attempt, whatever failed.
TEST_F(ConfigErrors, TriedViewOfAFileThatFailsReportsNothing) {
  const std::function<void()> failures[] = {
      [] { Disk().files.erase(Cfg); },
      [] { Disk().openError = EACCES; },
      [] { Disk().lengthError = EIO; },
      [] { Disk().reportedLength = ConfigFileMaxLength + 1; },
      [] { Disk().readError = EIO, Disk().readErrorAfter = 11; },
      [] { Disk().closeError = EIO; },
  };
  for (const auto& fail : failures) {
    ResetDisk();
    Disk().files[Cfg] = Before;
    fail();
    ConfigView view;
    EXPECT_EQ(ConfigViewTryLoad(&view, ConfigFileName), 0);
    char out[20];
    EXPECT_EQ(ConfigViewGet(&view, out, sizeof out, "Port"), 0);
    ConfigViewRelease(&view);
  }
  EXPECT_TRUE(InternalMessages().empty());

  ResetDisk();
  Disk().files[Cfg] = Before;
  ConfigView view;
  ASSERT_EQ(ConfigViewTryLoad(&view, ConfigFileName), 1);
  char out[20];
  ASSERT_EQ(ConfigViewGet(&view, out, sizeof out, "host"), 1);
  EXPECT_STREQ(out, "h");
  ConfigViewRelease(&view);
  EXPECT_TRUE(InternalMessages().empty());
}

TEST_F(ConfigErrors, FailedWriteOrFlushKeepsTheOldFile) {
  for (int FakeDisk::*failure : {&FakeDisk::writeError, &FakeDisk::flushError}) {
    ResetDisk();
    ClearInternalMessages();
    Disk().files[Cfg] = Before;
    Disk().*failure = ENOSPC;
    ConfigSet("Port", "2000", ConfigFileName);
    EXPECT_EQ(Disk().files[Cfg], Before);
    EXPECT_EQ(Disk().files.count(NewCfg), 0u) << "the unfinished new file is left behind";
    EXPECT_EQ(InternalMessages(), std::vector<std::string>{Line(ENOSPC, "write new cfg file")});
  }
}

TEST_F(ConfigErrors, FailedReplaceKeepsTheOldFile) {
  Disk().files[Cfg] = Before;
  Disk().replaceError = EIO;
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(Disk().files[Cfg], Before);
  EXPECT_EQ(Disk().files.count(NewCfg), 0u);
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{Line(EIO, "replace cfg file")});
}

TEST_F(ConfigErrors, NewFileThatCannotBeCreatedLosesTheWriteQuietly) {
  Disk().files[Cfg] = Before;
  Disk().createError = EACCES;
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(Disk().files[Cfg], Before);
  EXPECT_TRUE(InternalMessages().empty());
}

TEST_F(ConfigErrors, ReadOnlyFileIsLeftAsItIsQuietly) {
  Disk().files[Cfg] = Before;
  Disk().readOnly.insert(Cfg);
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_FALSE(Created());
  EXPECT_EQ(Disk().files[Cfg], Before);
  EXPECT_TRUE(InternalMessages().empty());
  EXPECT_EQ(Get("Port"), "1123");
}

TEST_F(ConfigErrors, WithoutTheLockReadsGoOnAndWritesStop) {
  Disk().files[Cfg] = Before;
  Disk().lockError = EACCES;
  EXPECT_EQ(Get("Port"), "1123");
  ConfigSet("Port", "2000", ConfigFileName);
  char out[20];
  ConfigGetDefault(out, sizeof out, "Missing", "dflt", ConfigFileName);
  EXPECT_STREQ(out, "dflt");
  EXPECT_FALSE(Created());
  EXPECT_EQ(Disk().files[Cfg], Before);
}

TEST_F(ConfigErrors, WriteHoldsTheLockFromReadToReplace) {
  Disk().files[Cfg] = Before;
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(Disk().events, (std::vector<std::string>{"lock ex " + LockFile, "open " + Cfg, "close",
                                                     "create " + NewCfg, "flush close", "replace " + Cfg,
                                                     "unlock"}));
  Disk().events.clear();
  EXPECT_EQ(Get("Port"), "2000");
  EXPECT_EQ(Disk().events, (std::vector<std::string>{"lock sh " + LockFile, "open " + Cfg, "close", "unlock"}));
}

TEST_F(ConfigErrors, DefaultIsReadAndStoredUnderOneLock) {
  Disk().files[Cfg] = Before;
  char out[20];
  ConfigGetDefault(out, sizeof out, "Trailer", "none", ConfigFileName);
  EXPECT_EQ(Disk().events, (std::vector<std::string>{"lock ex " + LockFile, "open " + Cfg, "close", "open " + Cfg,
                                                     "close", "create " + NewCfg, "flush close",
                                                     "replace " + Cfg, "unlock"}));
  EXPECT_EQ(Disk().files[Cfg], Before + "Trailer  =  none\r\n");
}

TEST_F(ConfigErrors, ReadBatchReadsTheFileOnceAndSeesItsOwnWrites) {
  Disk().files[Cfg] = Before;
  auto opens = [] {
    int n = 0;
    for (const auto& e : Disk().events) n += e.rfind("open ", 0) == 0;
    return n;
  };
  ConfigReadBatchBegin();
  EXPECT_EQ(Get("Port"), "1123");
  EXPECT_EQ(Get("host"), "h");
  EXPECT_EQ(Get("Absent"), "<absent>");
  char out[20];
  ConfigGetDefault(out, sizeof out, "Host", "other", ConfigFileName);
  EXPECT_STREQ(out, "h");
  EXPECT_EQ(opens(), 1);
  // Another program's change is not seen within the batch; this process's
  // own write is, and so is a default stored for a missing key.
  Disk().files[Cfg] = "Port=7\r\nHost=h\r\n";
  EXPECT_EQ(Get("Port"), "1123");
  ConfigSet("Host", "g", ConfigFileName);
  EXPECT_EQ(Get("Host"), "g");
  EXPECT_EQ(Get("Port"), "7");
  ConfigGetDefault(out, sizeof out, "Trailer", "none", ConfigFileName);
  EXPECT_EQ(Get("Trailer"), "none");
  // Another data directory is another file.
  ConfigReadBatchBegin();
  UseDataDirectory(dir_ + "/sub");
  Disk().files[std::string(DataDirectory) + ConfigFileName] = "Port=9\r\n";
  EXPECT_EQ(Get("Port"), "9");
  ConfigReadBatchEnd();
  UseDataDirectory(dir_);
  EXPECT_EQ(Get("Port"), "7");
  ConfigReadBatchEnd();
  Disk().files[Cfg] = "Port=8\r\n";
  EXPECT_EQ(Get("Port"), "8");
}

TEST_F(ConfigErrors, ReadBatchOfAnUnreadableFileReportsEveryReadAsWithoutIt) {
  ConfigReadBatchBegin();
  EXPECT_EQ(Get("Port"), "<absent>");
  EXPECT_EQ(Get("Host"), "<absent>");
  ConfigReadBatchEnd();
  EXPECT_EQ(InternalMessages(), (std::vector<std::string>{Line(2, "DosOpen config file"), Line(2, "DosOpen config file")}));
}

TEST_F(ConfigErrors, NestedUseInTheSameProcessDoesNotWaitForItself) {
  // A message box shown while the lock is held pumps messages, and a
  // handler may read the file meanwhile.
  Disk().files[Cfg] = Before;
  std::string nestedValue;
  Disk().duringRead = [&] { nestedValue = Get("Host"); };
  ConfigSet("Port", "2000", ConfigFileName);
  EXPECT_EQ(nestedValue, "h");
  int locks = 0, unlocks = 0;
  for (const auto& e : Disk().events) {
    locks += e.rfind("lock", 0) == 0;
    unlocks += e == "unlock";
  }
  EXPECT_EQ(locks, 1);
  EXPECT_EQ(unlocks, 1);
  EXPECT_EQ(Disk().files[Cfg], "Port                =2000\r\nHost=h\r\n");
}

TEST_F(ConfigErrors, WriteInsideAReadTakesTheExclusiveLock) {
  // The placement saved while a read's message box pumps messages: the
  // write must hold the exclusive lock, or another process's update can be
  // lost.
  Disk().files[Cfg] = Before;
  Disk().duringRead = [&] { ConfigSet("Port", "2000", ConfigFileName); };
  EXPECT_EQ(Get("Host"), "h");
  std::vector<std::string> locks;
  for (const auto& e : Disk().events)
    if (e.rfind("lock", 0) == 0 || e == "unlock") locks.push_back(e.substr(0, 7));
  EXPECT_EQ(locks, (std::vector<std::string>{"lock sh", "unlock", "lock ex", "unlock"}));
  EXPECT_EQ(Disk().files[Cfg], "Port                =2000\r\nHost=h\r\n");

  // An upgrade that cannot be had refuses the write.
  ResetDisk();
  Disk().files[Cfg] = Before;
  Disk().duringRead = [&] {
    Disk().lockError = EACCES;
    ConfigSet("Port", "2000", ConfigFileName);
  };
  EXPECT_EQ(Get("Host"), "h");
  EXPECT_EQ(Disk().files[Cfg], Before);
}

TEST_F(ConfigErrors, ReportIoErrorLogsOnlyMinusOne) {
  errno = EACCES;
  EXPECT_EQ(ReportIoError(0, "x"), 0);
  EXPECT_EQ(ReportIoError(-2, "x"), 0);
  EXPECT_TRUE(InternalMessages().empty());
  errno = EACCES;
  EXPECT_EQ(ReportIoError(-1, "DosClose configfile"), 13);
  EXPECT_EQ(InternalMessages(), std::vector<std::string>{Line(13, "DosClose configfile")});
}

}  // namespace
