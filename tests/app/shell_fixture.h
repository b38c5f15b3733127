// A fixture that runs the client's start-up inside the test process, with a
// scratch data directory holding velmor.cfg, and shuts it down afterwards.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "app/globals.h"
#include "config/config_file.h"
#include "tests/support/win_harness.h"

class ShellFixture : public ::testing::Test {
 protected:
  // Writes velmor.cfg (Directory naming the scratch directory, then extra
  // lines) and runs start-up with the given command line.
  void Start(const std::string& extraCfg = "", const char* args = "/Q", bool withDirectory = true) {
    std::string cfg = withDirectory ? "Directory  =  " + dir.Path() + "\r\n" : "";
    WriteFile(dir.File("velmor.cfg"), cfg + extraCfg);
    GetCurrentDirectoryA(sizeof home_, home_);
    SetCurrentDirectoryA(dir.Path().c_str());
    DataDirectory[0] = '\0';  // as in a fresh process
    AppStartup(GetModuleHandleA(nullptr), args);
    started_ = true;
  }

  // Closes the main window as the user would and takes the quit message
  // that its destruction posts. Returns whether that message came.
  bool Close() {
    if (!Shell.MainWindow || !IsWindow(Shell.MainWindow)) return false;
    SendMessageA(Shell.MainWindow, WM_CLOSE, 0, 0);
    return TakeQuit();
  }

  static bool TakeQuit(DWORD ms = 10000) { return PumpUntilQuit(ms); }

  void TearDown() override {
    if (started_) {
      Close();
      AppShutdown();
      SetCurrentDirectoryA(home_);
    }
  }

  std::string Cfg() const { return ReadFile(dir.File("velmor.cfg")); }
  HWND Child(int id) const { return GetDlgItem(Shell.MainWindow, id); }
  int ClientHeight() const {
    RECT r{};
    GetClientRect(Shell.MainWindow, &r);
    return r.bottom;
  }

  ScratchDirectory dir;
  Watchdog watchdog;

 private:
  bool started_ = false;
  char home_[MAX_PATH] = ".";
};

#define EXPECT_RECT(r, X, Y, W, H)                                             \
  do {                                                                         \
    const RECT rr_ = (r);                                                      \
    EXPECT_EQ(rr_.left, (X)) << "x";                                           \
    EXPECT_EQ(rr_.top, (Y)) << "y";                                            \
    EXPECT_EQ(rr_.right - rr_.left, (W)) << "width";                           \
    EXPECT_EQ(rr_.bottom - rr_.top, (H)) << "height";                          \
  } while (0)
