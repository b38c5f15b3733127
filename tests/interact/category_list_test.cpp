// Category lists over an in-memory server: one request per type until a
// refresh, the names exactly as the block holds them, every failure line,
// the message box, and the transfer message closed on every path.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "config/basic_settings.h"
#include "config/config_file.h"
#include "base/guarded.h"
#include "diag/log.h"
#include "interact/category_list.h"
#include "net/request_record.h"
#include "net/transport.h"
#include "tests/interact/dialog_shell_stub.h"
#include "tests/net/fake_transport.h"
#include "tests/support/test_files.h"
#include "tests/stubs/stubs.h"

void ShowWaitLabel() {}
void HideWaitLabel() {}
void ShowProgress(int, int) {}

namespace {

WindowRef const Dialog = reinterpret_cast<WindowRef>(0x1234);

std::vector<std::string> Activity() {
  std::vector<std::string> out;
  for (const auto& line : ActivityLines()) {
    size_t tab = line.find("-\t");
    out.push_back(tab == std::string::npos ? line : line.substr(tab + 2));
  }
  return out;
}

std::vector<std::string> Names(int type) {
  std::vector<std::string> out;
  for (int i = 0; i < CategoryCount(type); ++i) out.emplace_back(CategoryName(type, i));
  return out;
}

std::string ListAnswer(int n, const std::string& block) { return RecordBytes(0, n, 0) + BlockBytes(block, 4096); }

class CategoryListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPeer();
    for (int t = CategoryTypeFirst; t <= CategoryTypeLast; ++t) DiscardCategoryList(t);
    ActivityLines().clear();
    ShownMessages().clear();
    DialogEvents().clear();
    std::string dir = MakeTestDir("category-list");
    std::snprintf(DataDirectory, sizeof DataDirectory, "%s", dir.c_str());
    std::snprintf(SaveLogToDisk, sizeof SaveLogToDisk, "%s", "No");
    std::snprintf(ClientIdentity, sizeof ClientIdentity, "%s", "4321");
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    for (int t = CategoryTypeFirst; t <= CategoryTypeLast; ++t) DiscardCategoryList(t);
    EXPECT_EQ(GuardedOutstanding(), outstanding_) << "every name and block is released";
    EXPECT_EQ(Peer().closes, Peer().opens) << "every opened connection is closed";
    // The transfer message was opened at most once per fetch and is closed.
    if (!DialogEvents().empty()) {
      int open = 0;
      for (const auto& e : DialogEvents()) {
        if (e.what.rfind("open", 0) == 0) ++open;
        if (e.what == "close") --open;
        EXPECT_EQ(e.owner, Dialog);
      }
      EXPECT_EQ(open, 0) << "transfer message left open";
    }
  }
  long outstanding_ = 0;
};

TEST_F(CategoryListTest, OneRequestPerTypeUntilARefresh) {
  Peer().incoming = ListAnswer(3, std::string("Verse\0Prose\0Verse\0", 18));
  EXPECT_EQ(PrepareCategoryList(1, Dialog), 3);
  EXPECT_EQ(Names(1), (std::vector<std::string>{"Verse", "Prose", "Verse"}));  // order kept, duplicates too
  ASSERT_EQ(Peer().sends.size(), 1u);
  RequestRecord sent;
  ASSERT_TRUE(DecodeRequestRecord(Peer().sends[0].data(), Peer().sends[0].size(), &sent));
  EXPECT_EQ(Peer().sends[0].size(), 90u);
  EXPECT_STREQ(sent.client_id, "4321");
  EXPECT_EQ(sent.code, 12);
  EXPECT_EQ(sent.num1, 1);
  ASSERT_EQ(DialogEvents().size(), 2u);
  EXPECT_EQ(DialogEvents()[0].what, "open Please Wait. Getting category list from server.");
  EXPECT_EQ(DialogEvents()[1].what, "close");

  // Cached: the same names without a word to the server.
  EXPECT_EQ(PrepareCategoryList(1, Dialog), 3);
  EXPECT_EQ(Peer().opens, 1);
  // Another type has its own cache.
  Peer().incoming += ListAnswer(1, std::string("Tiles\0", 6));
  EXPECT_EQ(PrepareCategoryList(2, Dialog), 1);
  EXPECT_EQ(Names(2), std::vector<std::string>{"Tiles"});
  EXPECT_EQ(Names(1).size(), 3u);

  // Refresh: discard, then the server is asked again.
  DiscardCategoryList(1);
  EXPECT_EQ(CategoryCount(1), 0);
  Peer().incoming += ListAnswer(2, std::string("New\0Verse\0", 10));
  EXPECT_EQ(PrepareCategoryList(1, Dialog), 2);
  EXPECT_EQ(Names(1), (std::vector<std::string>{"New", "Verse"}));
  EXPECT_EQ(Peer().opens, 3);
  EXPECT_TRUE(ShownMessages().empty());
  EXPECT_TRUE(Activity().empty());
}

TEST_F(CategoryListTest, EveryFailureIsLoggedReportedAndLeavesTheCacheEmpty) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    const char* line;
  };
  const std::string good = ListAnswer(2, std::string("A\0B\0", 4));
  const std::vector<Case> cases = {
      {"no connection", [] { Peer().openResult = -3; }, "Can't get category list from server (1)"},
      {"send fails", [] { Peer().failSendsFrom = 0; }, "Can't get category list from server (2)"},
      {"no response", [] { Peer().incoming = RecordBytes(0, 2, 0).substr(0, 50); },
       "Can't get category list from server (3)"},
      {"code 1", [] { Peer().incoming = RecordBytes(1, 2, 0); }, "Invalid category request"},
      {"code 3", [] { Peer().incoming = RecordBytes(3, 2, 0); }, "Invalid category request"},
      {"code -7", [] { Peer().incoming = RecordBytes(-7, 2, 0); }, "Invalid category request"},
      {"block refused", [] { Peer().incoming = RecordBytes(0, 2, 0) + RecordBytes(5, 0, 0); },
       "Can't get category list from server (4)"},
      {"block cut", [good] { Peer().incoming = good.substr(0, good.size() - 2); },
       "Can't get category list from server (4)"},
      {"cancelled", [good] {
         Peer().incoming = good;
         // Cancel Transfer pressed once the block's data is awaited.
         Peer().onPump = [](int) { if (Peer().readPos >= 180) CancelTransfer = 1; };
       }, "Transfer cancelled"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetPeer();
    ActivityLines().clear();
    ShownMessages().clear();
    DialogEvents().clear();
    c.arrange();
    EXPECT_EQ(PrepareCategoryList(3, Dialog), 0);
    EXPECT_EQ(Activity(), (std::vector<std::string>{c.line, "Unable to get category list"}));
    EXPECT_TRUE(ShownMessages().empty());
    ASSERT_FALSE(DialogEvents().empty());
    EXPECT_EQ(DialogEvents().back().what, std::string("box ") + CategoryListFailedText);
    EXPECT_EQ(DialogEvents().back().owner, Dialog);
    EXPECT_EQ(DialogEvents()[DialogEvents().size() - 2].what, "close");
    EXPECT_EQ(CategoryCount(3), 0);
    EXPECT_EQ(Peer().closes, Peer().opens);
  }
  // A failed fetch is tried again at the next fill.
  ResetPeer();
  Peer().incoming = good;
  EXPECT_EQ(PrepareCategoryList(3, Dialog), 2);
}

TEST_F(CategoryListTest, TheSplitShowsWhatTheBlockHoldsAndNeverMore) {
  struct Case {
    int n;
    std::string block;
    std::vector<std::string> names;
  };
  const std::string longName(10000, 'x');
  const std::vector<Case> cases = {
      {0, std::string("\0First\0", 7), {""}},  // N of 0 still gives the first name
      {-5, std::string("Only\0Not\0", 9), {"Only"}},
      {1, "", {""}},
      {2, std::string("a\0\0b\0", 5), {"a", ""}},
      {3, std::string("a\0\0b\0", 5), {"a", "", "b"}},
      {1000000, std::string("a\0b\0", 4), {"a", "b"}},  // ends before N names
      {3, std::string("a\0bc", 4), {"a", "bc"}},        // no final NUL
      {2, longName + '\0' + longName + "y", {longName, longName + "y"}},
      {2, std::string("\x01\t\x7f\xff\0ok\0", 8), {"\x01\t\x7f\xff", "ok"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    ResetPeer();
    DiscardCategoryList(2);
    Peer().incoming = ListAnswer(c.n, c.block);
    EXPECT_EQ(PrepareCategoryList(2, Dialog), static_cast<int>(c.names.size()));
    EXPECT_EQ(Names(2), c.names);
  }
  EXPECT_TRUE(ShownMessages().empty());
}

TEST_F(CategoryListTest, BadTypesAskNobody) {
  for (int type : {0, 5, -1}) {
    EXPECT_EQ(PrepareCategoryList(type, Dialog), 0);
  }
  EXPECT_EQ(Activity(), std::vector<std::string>(3, "Internal Error: Bad request type."));
  EXPECT_TRUE(ShownMessages().empty());
  EXPECT_EQ(Peer().opens, 0);
  // Type 4 has a cache slot of its own.
  Peer().incoming = ListAnswer(1, std::string("Four\0", 5));
  EXPECT_EQ(PrepareCategoryList(4, Dialog), 1);
  EXPECT_EQ(Peer().sends.size(), 1u);
  EXPECT_EQ(Peer().sends[0].substr(28, 8), std::string("\x0c\0\0\0\4\0\0\0", 8));
}

}  // namespace
