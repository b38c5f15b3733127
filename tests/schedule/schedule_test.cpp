// The item table and the tick on an injected clock: which rows become rows,
// which rows are due, what the tick logs and writes back into velmor.cfg,
// and the pacing of the status line against an in-memory server.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "base/clock.h"
#include "schedule/item_table.h"
#include "schedule/schedule.h"
#include "tests/net/fake_transport.h"
#include "tests/support/test_files.h"
#include "tests/schedule/status_line_stub.h"
#include "tests/stubs/stubs.h"

namespace {

int32_t clockValue = 0;
void InjectedLocal(ClockParts* out) { ClockSplit(clockValue, out); }
int64_t InjectedUtc() { return clockValue; }

void SetClock(int hour, int minute) { clockValue = ClockMake(3, 14, 2026, hour, minute, 30); }
void AddMinutes(int n) { clockValue += 60 * n; }

struct Call {
  int row;
  int32_t minute;
};
std::vector<Call> calls;
int updateResult = 1;
int minutesInsideUpdate = 0;  // the operation takes this long

int RecordingUpdate(int row) {
  calls.push_back({row, MinuteNow()});
  AddMinutes(minutesInsideUpdate);
  return updateResult;
}

std::string Get(const std::string& key) {
  char value[500];
  return ConfigGet(value, sizeof value, key.c_str(), ConfigFileName) ? value : "<absent>";
}
void Set(const std::string& key, const std::string& value) { ConfigSet(key.c_str(), value.c_str(), ConfigFileName); }

std::vector<std::string> Activity() {
  std::vector<std::string> out;
  for (const std::string& line : ActivityLines()) {
    size_t tab = line.find("-\t");
    out.push_back(tab == std::string::npos ? line : line.substr(tab + 2));
  }
  return out;
}

std::vector<int> Tick() {
  calls.clear();
  ScheduleTick();
  std::vector<int> rows;
  for (const Call& c : calls) rows.push_back(c.row);
  return rows;
}

// The registry as the enumerator meets it: applications with their events,
// in order, fed row by row until the table says it is full.
void FeedScheme(const std::vector<std::pair<std::string, std::vector<std::string>>>& scheme) {
  for (const auto& app : scheme)
    for (const std::string& event : app.second)
      if (!AddSoundEventRow(app.first.c_str(), event.c_str())) return;
}

class ScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPeer();
    ActivityLines().clear();
    StatusLineLabels().clear();
    dir_ = MakeTestDir("schedule");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir_.c_str());
    std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
    std::snprintf(ClientIdentity, sizeof ClientIdentity, "%s", "31");
    ClockSetSourcesForTesting(InjectedLocal, InjectedUtc);
    SetClock(12, 0);
    ReleaseSoundEventItems();
    SetItemUpdates(RecordingUpdate, RecordingUpdate, RecordingUpdate);
    updateResult = 1;
    minutesInsideUpdate = 0;
    // The status line is fetched already: no exchange unless a test wants one.
    TrailerBase = ClockNow();
    TrailerFetched = true;
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    ReleaseSoundEventItems();
    ClockSetSourcesForTesting(nullptr, nullptr);
    EXPECT_EQ(GuardedOutstanding(), outstanding_);
    EXPECT_EQ(Peer().closes, Peer().opens);
  }
  std::string dir_;
  long outstanding_ = 0;
};

TEST_F(ScheduleTest, SoundSchemeRows) {
  std::string name91(87, 'e'), name92(88, 'e');
  std::vector<std::string> many;
  for (int i = 0; i < 300; ++i) many.push_back("E" + std::to_string(i));
  FeedScheme({{"  Mail ", {" New Mail  ", "Empty ", "   "}},
              {"", {""}},
              {"Long  ", {name91, name92, "A=B", "Tab\there"}},
              {"Many", many}});
  EXPECT_EQ(ItemCount(), MaxItems - 1);
  EXPECT_EQ(ItemTable[MaxItems - 1].name, nullptr);
  // Application trimmed, event appended, the whole trimmed; the key path
  // keeps leading spaces and loses trailing ones; the display name is the
  // name.
  EXPECT_STREQ(ItemTable[3].name, "Mail New Mail");
  EXPECT_STREQ(ItemTable[3].eventKeyPath, "AppEvents\\Schemes\\Apps\\  Mail\\ New Mail");
  EXPECT_EQ(ItemTable[3].displayName, ItemTable[3].name);
  EXPECT_EQ(ItemTable[3].type, ItemSound);
  EXPECT_EQ(ItemTable[3].update, &RecordingUpdate);
  EXPECT_STREQ(ItemTable[4].name, "MailEmpty");
  // An event of blanks gives the application's name alone.
  EXPECT_STREQ(ItemTable[5].name, "Mail");
  // 91 characters are kept, with every key within 99; 92 are skipped, and
  // so are names whose keys could not be stored.
  EXPECT_EQ(std::string(ItemTable[6].name), "Long" + name91);
  char key[ItemKeySize];
  EXPECT_TRUE(ItemKeyOf(key, sizeof key, EnablestPrefix, 6));
  EXPECT_EQ(std::string(key).size(), 99u);
  EXPECT_STREQ(ItemTable[7].name, "ManyE0");
  // Rows 7 to 198: the first 192 events of the last application.
  EXPECT_STREQ(ItemTable[LastItemRow].name, "ManyE191");

  // The fixed rows are untouched; releasing frees every event row.
  EXPECT_STREQ(ItemTable[2].name, "Randomsound");
  EXPECT_STREQ(ItemTable[2].displayName, "Random Sound");
  ReleaseSoundEventItems();
  EXPECT_EQ(ItemCount(), FixedItemRows);
  EXPECT_EQ(GuardedOutstanding(), outstanding_);
}

TEST_F(ScheduleTest, DueRulesAndWhatATickWrites) {
  EXPECT_TRUE(Tick().empty());  // nothing set

  // Interval and selection set, no Time: due at once, in table order, and
  // the run is recorded with the minute after the operation returned.
  for (const char* name : {"Quote", "Background", "Randomsound"}) {
    Set(std::string("Interval") + name, "5");
    Set(std::string("SELECT") + name, "0");
  }
  minutesInsideUpdate = 2;
  int32_t before = MinuteNow();
  EXPECT_EQ(Tick(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(calls[0].minute, before);
  EXPECT_EQ(Get("TimeQuote"), std::to_string(before + 2));
  EXPECT_EQ(Get("TimeBackground"), std::to_string(before + 4));
  EXPECT_EQ(Get("TimeRandomsound"), std::to_string(before + 6));
  EXPECT_EQ(Activity(), (std::vector<std::string>{"Event triggered: Quote", "Event ended: Quote",
                                                  "Event triggered: Background", "Event ended: Background",
                                                  "Event triggered: Randomsound", "Event ended: Randomsound"}));
  minutesInsideUpdate = 0;

  // Due again when MinuteNow reaches Time + Interval, not a minute before.
  AddMinutes(0);
  Set("TimeQuote", std::to_string(MinuteNow() - 4));
  Set("TimeBackground", std::to_string(MinuteNow() - 5));
  Set("TimeRandomsound", std::to_string(MinuteNow() + 100));  // the clock went back
  EXPECT_EQ(Tick(), (std::vector<int>{1}));
  AddMinutes(1);
  EXPECT_EQ(Tick(), (std::vector<int>{0}));
  AddMinutes(102);
  EXPECT_EQ(Tick(), (std::vector<int>{0, 1}));
  AddMinutes(1);
  EXPECT_TRUE(Tick().empty());
  AddMinutes(1);
  EXPECT_EQ(Tick(), (std::vector<int>{2}));

  // Blank selections and intervals that are absent, 0, negative or not a
  // number keep a row from ever running; huge values neither crash nor run.
  AddMinutes(100);
  const std::pair<const char*, const char*> never[] = {
      {"SELECTQuote", "    "}, {"IntervalQuote", "0"},          {"IntervalQuote", "-5"},
      {"IntervalQuote", "abc"}, {"IntervalQuote", "-2147483648"}, {"IntervalQuote", "99999999999999999999"},
  };
  for (const auto& change : never) {
    Set("IntervalQuote", "5");
    Set("SELECTQuote", "0");
    Set("TimeQuote", "0");
    Set(change.first, change.second);
    Set("IntervalBackground", "0");
    Set("IntervalRandomsound", "0");
    EXPECT_TRUE(Tick().empty()) << change.first << "=" << change.second;
  }
  Set("IntervalQuote", "2147483647");
  Set("SELECTQuote", "0");
  Set("TimeQuote", "2147483647");
  EXPECT_TRUE(Tick().empty());

  // A key edited between two ticks counts at the next one.
  Set("IntervalQuote", "1");
  Set("TimeQuote", "");
  EXPECT_EQ(Tick(), (std::vector<int>{0}));
}

TEST_F(ScheduleTest, FailingUpdatesAreRetriedEveryMinute) {
  Set("IntervalBackground", "60");
  Set("SELECTBackground", "1 2");
  Set("TimeBackground", "17");
  updateResult = 0;
  for (int minute = 0; minute < 3; ++minute) {
    ActivityLines().clear();
    EXPECT_EQ(Tick(), (std::vector<int>{1}));
    EXPECT_EQ(Activity(), (std::vector<std::string>{"Event triggered: Background", "Event ended: Background"}));
    EXPECT_EQ(Get("TimeBackground"), "17");
    AddMinutes(1);
  }
  updateResult = 1;
  EXPECT_EQ(Tick(), (std::vector<int>{1}));
  EXPECT_EQ(Get("TimeBackground"), std::to_string(MinuteNow()));
  AddMinutes(1);
  EXPECT_TRUE(Tick().empty());

  // An event row takes part like the fixed ones, after them.
  AddSoundEventRow("Mail", "New Mail");
  Set("IntervalMailNew Mail", "1");
  Set("SELECTMailNew Mail", "0");
  EXPECT_EQ(Tick(), (std::vector<int>{3}));
}

TEST_F(ScheduleTest, TimeWindowEdges) {
  Set("IntervalQuote", "1");
  Set("SELECTQuote", "0");
  auto runsAt = [](int hour, int minute) {
    SetClock(hour, minute);
    Set("TimeQuote", "0");
    return Tick() == std::vector<int>{0};
  };
  Set("EnablestQuote", "1");
  Set("StarthQuote", "9");
  Set("StartmQuote", "0");
  Set("EndhQuote", "9");
  Set("EndmQuote", "0");
  EXPECT_FALSE(runsAt(8, 59));
  EXPECT_TRUE(runsAt(9, 0));
  EXPECT_FALSE(runsAt(9, 1));
  EXPECT_FALSE(runsAt(10, 0));

  Set("StarthQuote", "22");
  Set("EndhQuote", "6");
  for (int hour : {22, 23, 0, 3, 6, 12}) EXPECT_FALSE(runsAt(hour, 0)) << hour;
  EXPECT_FALSE(TimeWindowOpen(0));

  Set("StarthQuote", "8");
  Set("StartmQuote", "30");
  Set("EndhQuote", "17");
  Set("EndmQuote", "15");
  EXPECT_FALSE(runsAt(8, 29));
  EXPECT_TRUE(runsAt(8, 30));
  EXPECT_TRUE(runsAt(17, 15));
  EXPECT_FALSE(runsAt(17, 16));
  // Window values that are no numbers read 0.
  Set("StarthQuote", "x");
  Set("StartmQuote", "");
  EXPECT_TRUE(runsAt(0, 0));
  // Enablest 0 (or anything reading 0) opens the window at any time.
  Set("EnablestQuote", "no");
  EXPECT_TRUE(runsAt(23, 59));
}

TEST_F(ScheduleTest, StatusLinePacing) {
  TrailerPaceStart();
  int32_t start = ClockNow();
  auto tickAt = [](int32_t value) {
    clockValue = value;
    ScheduleTick();
  };
  Peer().incoming = RecordBytes(0, 0, 0, "  Server news  ");
  tickAt(start + 1200);
  EXPECT_EQ(Peer().opens, 0);
  tickAt(start + 1201);
  EXPECT_EQ(Peer().opens, 1);
  EXPECT_EQ(AllSent().substr(28, 4), std::string("\x0d\0\0\0", 4));  // request 13
  EXPECT_EQ(Get("Trailer"), "Server news");
  EXPECT_EQ(StatusLineLabels().back(), "Server news");

  // Fetched: nothing for a day after the start, then the flag clears and
  // the next fetch follows more than 20 minutes later. The server now
  // answers with code 4: the line is cleared and the label goes.
  tickAt(start + 86400);
  tickAt(start + 86401);
  EXPECT_EQ(Peer().opens, 1);
  EXPECT_FALSE(TrailerFetched);
  Peer().incoming = RecordBytes(4, 0, 0, "ignored");
  Peer().readPos = 0;
  tickAt(start + 86401 + 1200);
  EXPECT_EQ(Peer().opens, 1);
  tickAt(start + 86401 + 1201);
  EXPECT_EQ(Peer().opens, 2);
  EXPECT_EQ(Get("Trailer"), "");
  EXPECT_EQ(StatusLineLabels().back(), "<none>");

  // A failed fetch is retried more than 20 minutes after it.
  TrailerPaceStart();
  int32_t base = ClockNow();
  Peer().openResult = -1;
  tickAt(base + 1500);
  EXPECT_FALSE(TrailerFetched);
  EXPECT_EQ(TrailerBase, base + 1500);
  // 50 bytes without a NUL: all 50 are the status line.
  Peer().openResult = 3;
  Peer().incoming = RecordBytes(0, 0, 0, std::string(50, 'S').c_str());
  Peer().readPos = 0;
  tickAt(base + 1500 + 1200);
  EXPECT_FALSE(TrailerFetched);
  tickAt(base + 1500 + 1201);
  EXPECT_TRUE(TrailerFetched);
  EXPECT_EQ(Get("Trailer"), std::string(50, 'S'));
  // The clock moved back by an hour: no fetch, no clearing.
  tickAt(base - 3600);
  EXPECT_TRUE(TrailerFetched);
}

}  // namespace
