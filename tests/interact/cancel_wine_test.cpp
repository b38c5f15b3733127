// "Cancel Transfer" pressed while the server keeps silent after the request,
// one exchange of each kind: a raw peer answers well-formed only after the
// cancel. The exchange ends as cancelled with its own line; nothing is
// installed, cached, counted as a run or reported as success, and nothing
// more goes to the server.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/status.h"
#include "base/guarded.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "content/media_update.h"
#include "content/text_fetch.h"
#include "interact/add_category.h"
#include "interact/category_list.h"
#include "interact/comment.h"
#include "interact/dialog_shell.h"
#include "interact/donate_transfer.h"
#include "interact/ping.h"
#include "net/request_record.h"
#include "schedule/item_table.h"
#include "schedule/schedule.h"
#include "tests/support/raw_peer_win.h"
#include "tests/support/win_harness.h"

namespace {

std::string Block(const std::string& data) { return WireRecord(0, 4096, static_cast<int>(data.size())) + data; }


std::vector<std::string> Since(size_t from) {
  std::vector<std::string> all = ActivityLines();
  return from < all.size() ? std::vector<std::string>(all.begin() + static_cast<long>(from), all.end())
                           : std::vector<std::string>{};
}

void PressCancelTransfer() { PostMessageA(TransferMessageWindow(), WM_COMMAND, CancelTransferButtonId, 0); }

// Reads the request, keeps silent well past the cancel, then answers; with
// drain, it then reads whatever else the client sends until it closes.
std::vector<RawPeer::Step> SilentThen(const std::string& answer, bool drain = false) {
  if (drain) return {RawPeer::Read(90), RawPeer::Pause(2500), RawPeer::Send(answer)};
  return {RawPeer::Read(90), RawPeer::Pause(2500), RawPeer::Send(answer), RawPeer::Close()};
}

class CancelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTransferMessageClass(); }
  void SetUp() override {
    dir_ = BeginTransportTest("cancel", "4343");
    ReleaseSoundEventItems();
    SetItemUpdates(QuoteUpdate, BackgroundUpdate, SoundUpdate);
    TrailerBase = 0;
    TrailerFetched = true;
    owner_ = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    outstanding_ = GuardedOutstanding();
  }
  void TearDown() override {
    if (owner_) DestroyWindow(owner_);
    EndTransportTest();
    EXPECT_EQ(GuardedOutstanding(), outstanding_);
  }
  void Use(const RawPeer& peer) { std::snprintf(ServerPort, sizeof ServerPort, "%d", peer.Port()); }

  std::string dir_;
  HWND owner_ = nullptr;
  long outstanding_ = 0;
};

// Quote, picture and sound through the tick (with the transfer message up,
// as "Trigger this item now" has it).
TEST_F(CancelTest, ContentFetchesEndCancelledAndTheRowStaysDue) {
  TestMainWindow main;
  const std::string bitmap = std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0"
                                         "\0\0\0\0\x10\0\0\0",
                                         38) +
                             std::string(32, '\0');
  struct Case {
    const char* row;
    std::string answer;
    const char* line;
    const char* file;
  };
  const Case cases[] = {
      {"Quote", WireRecord(0, 0, 0) + Block("a quote nobody asked for"), "Transfer Cancelled", nullptr},
      {"Background", WireRecord(0, 0, 0) + WireRecord(0, 1, 2) + Block(bitmap), "Transfer Cancelled.", "Backgrou.bmp"},
      {"Randomsound", WireRecord(0, 0, 0) + Block("RIFF a sound"), "Transfer Cancelled.", "Randomsound.wav"},
  };
  for (const char* row : {"Quote", "Background", "Randomsound"}) {
    ConfigSet((std::string("Interval") + row).c_str(), "0", ConfigFileName);
    ConfigSet((std::string("SELECT") + row).c_str(), "0", ConfigFileName);
  }
  for (const Case& c : cases) {
    RawPeer peer(SilentThen(c.answer));
    Use(peer);
    ConfigSet((std::string("Interval") + c.row).c_str(), "1", ConfigFileName);
    ConfigSet((std::string("Time") + c.row).c_str(), "0", ConfigFileName);
    ShowTransferMessage("Please Wait. Connecting to server.", nullptr);
    DelayedAction cancel(500, PressCancelTransfer);
    const size_t from = ActivityLines().size();
    ScheduleTick();
    ShowTransferMessage(nullptr, nullptr);
    EXPECT_TRUE(cancel.Fired()) << c.row;
    EXPECT_EQ(Since(from), (std::vector<std::string>{std::string("Event triggered: ") + c.row, c.line,
                                                     std::string("Event ended: ") + c.row}));
    EXPECT_EQ(main.PaneText().find("nobody asked"), std::string::npos) << c.row;
    if (c.file) {
      EXPECT_FALSE(FileExists(dir_ + c.file)) << c.row;
    }
    EXPECT_FALSE(FileExists(dir_ + "import.bin")) << c.row;
    char time[32] = "";
    ConfigGet(time, sizeof time, (std::string("Time") + c.row).c_str(), ConfigFileName);
    EXPECT_STREQ(time, "0") << c.row << ": the row stays due";
    ConfigSet((std::string("Interval") + c.row).c_str(), "0", ConfigFileName);
    EXPECT_EQ(peer.Received().size(), 90u) << c.row;
  }
}

TEST_F(CancelTest, ACategoryListCancelledCachesNothing) {
  DiscardCategoryList(ItemQuote);
  RawPeer peer(SilentThen(WireRecord(0, 2, 0) + Block(std::string("A\0B\0", 4))));
  Use(peer);
  MessageBoxRecorder boxes;
  DelayedAction cancel(500, PressCancelTransfer);
  const size_t from = ActivityLines().size();
  EXPECT_EQ(PrepareCategoryList(ItemQuote, owner_), 0);
  EXPECT_TRUE(cancel.Fired());
  EXPECT_EQ(CategoryCount(ItemQuote), 0);
  EXPECT_EQ(Since(from), (std::vector<std::string>{"Transfer cancelled", "Unable to get category list"}));
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{CategoryListFailedText});
}

// Ping, add category and comment from their dialogs.
TEST_F(CancelTest, DialogExchangesEndCancelledWithoutSuccess) {
  struct Case {
    const char* what;
    std::function<void()> run;
    const char* line;
  };
  const Case cases[] = {
      {"ping", [this] { PingServer(owner_); }, "Ping cancelled"},
      {"add category", [this] { EXPECT_EQ(AddCategory(owner_, ItemQuote, "Silence"), 0); },
       "Add category request Cancelled"},
      {"comment", [this] { EXPECT_EQ(SendComment(owner_, "a comment"), 0); }, "Send comment request Cancelled"},
  };
  for (const Case& c : cases) {
    RawPeer peer(SilentThen(WireRecord(0, 0, 0), true));
    peer.DrainAfterScript();
    Use(peer);
    MessageBoxRecorder boxes;
    DelayedAction cancel(500, PressCancelTransfer);
    const size_t from = ActivityLines().size();
    c.run();
    EXPECT_TRUE(cancel.Fired()) << c.what;
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Transfer Cancelled."}) << c.what;
    EXPECT_EQ(Since(from), std::vector<std::string>{c.line}) << c.what;
    Pump(3000);  // the peer answers and reads on until the connection is closed
    EXPECT_EQ(peer.Received().size(), 90u) << c.what << ": nothing after the request";
  }
}

TEST_F(CancelTest, ADonationCancelledStaysListedAndSendsNothing) {
  const std::string file = dir_ + "gift.bmp";
  WriteFile(file, "a picture");
  ConfigSet("DONATE-2-CATEGORY", "0", ConfigFileName);
  ConfigSet("DONATE-2-1", file.c_str(), ConfigFileName);
  RawPeer peer(SilentThen(WireRecord(0, 0, 0), true));
  peer.DrainAfterScript();
  Use(peer);
  MessageBoxRecorder boxes;
  ShowTransferMessage("Please Wait. Connecting to server.", nullptr);
  DelayedAction cancel(500, PressCancelTransfer);
  EXPECT_EQ(SendListedFile(file.c_str(), ItemPicture, 1), 0);
  ShowTransferMessage(nullptr, nullptr);
  EXPECT_TRUE(cancel.Fired());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Transfer Cancelled."});
  EXPECT_EQ(ActivityLines().back(), "File transfer cancelled by user request");
  char slot[300] = "";
  ConfigGet(slot, sizeof slot, "DONATE-2-1", ConfigFileName);
  EXPECT_EQ(std::string(slot), file);
  Pump(3000);  // the peer answers and reads on until the connection is closed
  EXPECT_EQ(peer.Received().size(), 90u) << "no block after the request";
}

}  // namespace
