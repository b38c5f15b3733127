// The commands "Get New Quote" (504), news (509) and tips (510) through the
// real main window, started in this process and pointed at the reference
// server: the transfer message while the exchange runs, the text pane and
// the activity list afterwards; and closing the window during a fetch still
// ends the main loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/app.h"
#include "app/globals.h"
#include "app/status.h"
#include "config/config_file.h"
#include "tests/support/reference_server_win.h"
#include "tests/support/test_files.h"
#include "tests/support/win_harness.h"
#include "res/resource.h"
#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

ReferenceServer* server = nullptr;

std::string LastListLine() {
  HWND list = GetDlgItem(Shell.MainWindow, IDC_MAIN_ACTIVITYLIST);
  int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  if (n <= 0) return "";
  wchar_t line[512] = {};
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(n - 1), reinterpret_cast<LPARAM>(line));
  char narrow[512] = {};
  WideCharToMultiByte(CP_ACP, 0, line, -1, narrow, sizeof narrow, nullptr, nullptr);
  std::string s = narrow;
  size_t tab = s.find("-\t");
  return tab == std::string::npos ? s : s.substr(tab + 2);
}

std::string PaneText() { return PaneTextOf(Shell.MainWindow); }

class CommandTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string content = FreshUnixDir("content-commands");
    WriteUnixFile(content + "/categories/quote.txt", "Verse\n");
    WriteUnixFile(content + "/categories/picture.txt", "");
    WriteUnixFile(content + "/categories/sound.txt", "");
    WriteUnixFile(content + "/quotes/0.txt", "First\nSecond\n");
    WriteUnixFile(content + "/news.txt", "The news\n");
    WriteUnixFile(content + "/tips.txt", "The tip\n");
    server = new ReferenceServer(content);
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server && server->Running());
    dir_ = MakeTestDir("content-commands");
    char cfg[600];
    std::snprintf(cfg, sizeof cfg,
                  "Directory           =%s\r\nVServerID           =127.0.0.1\r\nPort                =%d\r\n"
                  "SELECTQuote         =0\r\n",
                  dir_.c_str(), server->Port());
    WriteFile(dir_ + "velmor.cfg", cfg);
    GetCurrentDirectoryA(sizeof home_, home_);
    SetCurrentDirectoryA(dir_.c_str());
    DataDirectory[0] = '\0';
    server->SetFaults("");
    AppStartup(GetModuleHandleA(nullptr), "/Q");
  }
  void TearDown() override {
    if (Shell.MainWindow && IsWindow(Shell.MainWindow)) SendMessageA(Shell.MainWindow, WM_CLOSE, 0, 0);
    DrainQueue();
    AppShutdown();
    Quitting = 0;
    CancelTransfer = 0;
    SetCurrentDirectoryA(home_);
    server->SetFaults("");
  }

  // Sends the command and notes the transfer message shown while it runs.
  std::string RunCommand(WPARAM command) {
    static std::string shown;
    shown = "(none)";
    DelayedAction look(300, [] {
      HWND popup = TransferMessageWindow();
      shown = popup ? StaticTextOf(popup) : "(none)";
    });
    SendMessageA(Shell.MainWindow, WM_COMMAND, command, 0);
    return shown;
  }

  std::string dir_;
  char home_[MAX_PATH] = {};
};

TEST_F(CommandTest, QuoteNewsAndTipsFromTheMenu) {
  // Slow enough that the transfer message can be seen while it is up.
  server->SetFaults("* drip 40 16\n");
  EXPECT_EQ(RunCommand(504), "Please Wait. Connecting to server.");
  EXPECT_EQ(TransferMessageWindow(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(Shell.MainWindow));
  EXPECT_EQ(PaneText(), "First\r\nSecond");
  EXPECT_EQ(LastListLine(), "New Quote Available.");

  EXPECT_EQ(RunCommand(509), "Please Wait. Connecting to server.");
  EXPECT_EQ(PaneText(), "The news\r\n");
  EXPECT_EQ(LastListLine(), "News Available.");

  EXPECT_EQ(RunCommand(510), "Please Wait. Connecting to server.");
  EXPECT_EQ(PaneText(), "The tip\r\n");
  EXPECT_EQ(LastListLine(), "Tips Available.");

  // The command leaves the quote's schedule alone.
  std::string cfg = ReadFile(dir_ + "velmor.cfg");
  EXPECT_EQ(cfg.find("TimeQuote"), std::string::npos);
}

TEST_F(CommandTest, ClosingTheWindowDuringAFetchEndsTheProgram) {
  server->SetFaults("8 no-answer\n");
  HWND main = Shell.MainWindow;
  DelayedAction close(500, [main] { PostMessageA(main, WM_CLOSE, 0, 0); });
  double start = Seconds();
  SendMessageA(main, WM_COMMAND, 509, 0);
  // Far below the 120-second time-out, with room for Wine taking up to 2 s
  // for each window it hides without a window manager on a loaded machine.
  EXPECT_LT(Seconds() - start, 60.0);
  EXPECT_EQ(Quitting, 1);
  EXPECT_FALSE(IsWindow(main));
  // What the main loop would see next: the quit.
  MSG msg;
  bool quit = false;
  while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quit = msg.message == WM_QUIT;
  EXPECT_TRUE(quit);
}

}  // namespace
