// The real Velmorw.exe as a process: it starts, shows its window and tray
// icon, obeys "/N", and shuts down cleanly on close, saving its placement.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/globals.h"
#include "tests/support/win_harness.h"
#include "res/resource.h"

namespace {

std::string ProgramPath() {
  std::string path = "Z:" VELMORW_EXE;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

struct Running {
  PROCESS_INFORMATION pi{};
  bool ok = false;
  ~Running() {
    if (!ok) return;
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
};

bool Launch(Running& r, const std::string& args, const std::string& workDir) {
  std::string cmd = "\"" + ProgramPath() + "\" " + args;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  r.ok = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &si,
                        &r.pi) != FALSE;
  return r.ok;
}

struct Search {
  DWORD pid;
  const char* cls;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == s->pid && ClassOf(w) == s->cls) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForWindow(DWORD pid, const char* cls, DWORD ms) {
  Search s{pid, cls, nullptr};
  PumpUntil([&] {
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&s));
    return s.found != nullptr;
  }, ms);
  return s.found;
}

void WriteConfig(const ScratchDirectory& dir) {
  WriteFile(dir.File("velmor.cfg"), "Directory  =  " + dir.Path() + "\r\n");
}

TEST(ShellProcess, StartsShowsItsWindowAndTrayAndClosesCleanly) {
  ScratchDirectory dir;
  WriteConfig(dir);
  Running app;
  ASSERT_TRUE(Launch(app, "/Q", dir.Path())) << ProgramPath();
  HWND main = WaitForWindow(app.pi.dwProcessId, "VelmorW", 60000);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return TrayIconExists(main, IDN_TRAY_NORMAL); }, 30000));
  EXPECT_TRUE(IsWindowVisible(main));
  RECT r{};
  GetWindowRect(main, &r);
  EXPECT_EQ(r.left, 80);
  EXPECT_EQ(r.top, 137);
  EXPECT_EQ(r.right - r.left, 456);
  EXPECT_EQ(r.bottom - r.top, 211);
  EXPECT_EQ(ClassOf(GetDlgItem(main, IDC_MAIN_TEXTPANE)), "Edit");
  EXPECT_EQ(ClassOf(GetDlgItem(main, IDC_MAIN_ACTIVITYLIST)), "ListBox");
  EXPECT_EQ(WindowText(GetDlgItem(main, IDC_MAIN_TITLE)), "Velmor for Windows V7.1");

  SetWindowPos(main, nullptr, 60, 70, 480, 250, SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageA(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(app.pi.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1234;
  GetExitCodeProcess(app.pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(TrayIconExists(main, IDN_TRAY_NORMAL));
  const std::string cfg = ReadFile(dir.File("velmor.cfg"));
  EXPECT_EQ(CfgValue(cfg, "WindowLeft"), "60");
  EXPECT_EQ(CfgValue(cfg, "WindowTop"), "70");
  EXPECT_EQ(CfgValue(cfg, "WindowWidth"), "480");
  EXPECT_EQ(CfgValue(cfg, "WindowHeight"), "250");
  EXPECT_EQ(CfgValue(cfg, "Port"), "1123");
}

TEST(ShellProcess, StartsHiddenWithSlashNAndTheTrayClickBringsItBack) {
  ScratchDirectory dir;
  WriteConfig(dir);
  Running app;
  ASSERT_TRUE(Launch(app, "/Q /N", dir.Path()));
  HWND main = WaitForWindow(app.pi.dwProcessId, "VelmorW", 60000);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return TrayIconExists(main, IDN_TRAY_NORMAL); }, 30000));
  // Shown by the placement, hidden again just before the loop starts.
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 20000));
  PostMessageA(main, TrayCallbackMessage, IDN_TRAY_NORMAL, WM_LBUTTONDOWN);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(main) != FALSE; }, 20000));
  PostMessageA(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WaitForSingleObject(app.pi.hProcess, 60000), WAIT_OBJECT_0);
}

}  // namespace
