// The text pane with very long lines, in the real main window: how long a
// text of 102,000 and of 999,999 bytes without a line break takes to show,
// how long until all of it is in the pane, and the longest time one step of
// that fill keeps the message loop waiting. The baseline, measured in the
// same run: the same display form (the text with the pane's soft breaks)
// set in one WM_SETTEXT into a bare edit control of the pane's style, font
// and size, which is how the pane took it before it filled in steps. Run
// under Wine by run-pane-bench.sh.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/globals.h"
#include "app/pane_text.h"
#include "content/text_pane.h"
#include "res/resource.h"

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Words of 7 letters and a space, no line break.
std::string OneLine(std::size_t size) {
  std::string text;
  for (int i = 0; text.size() < size; ++i) text += (i % 8 == 7) ? ' ' : static_cast<char>('a' + i % 26);
  text.resize(size);
  return text;
}

// Dispatches what is queued; returns the longest single dispatch.
double PumpOnce() {
  double longest = 0;
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    const double t = Now();
    TranslateMessage(&m);
    DispatchMessageA(&m);
    longest = std::max(longest, Now() - t);
  }
  return longest;
}

void PumpFor(double seconds) {
  const double end = Now() + seconds;
  while (Now() < end) {
    PumpOnce();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("velmor-pane-bench-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  std::ofstream(dir / "velmor.cfg", std::ios::binary)
      << "Directory = " << dir.string() << "\r\nWindowLeft = 0\r\nWindowTop = 0\r\nWindowWidth = 640\r\n"
      << "WindowHeight = 480\r\n";
  SetCurrentDirectoryA(dir.string().c_str());
  AppStartup(GetModuleHandleA(nullptr), "/Q");
  PumpFor(0.5);
  HWND pane = GetDlgItem(Shell.MainWindow, IDC_MAIN_TEXTPANE);
  RECT r{};
  GetWindowRect(pane, &r);

  // The baseline's control: the pane's style, font and size.
  HWND bareParent = CreateWindowA("STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, r.right - r.left + 20,
                                  r.bottom - r.top + 20, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  HWND bare = CreateWindowA("EDIT", "",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                                ES_READONLY | ES_WANTRETURN,
                            5, 5, r.right - r.left, r.bottom - r.top, bareParent, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  SendMessageA(bare, WM_SETFONT, reinterpret_cast<WPARAM>(Shell.SmallFont), TRUE);
  PumpFor(0.5);

  std::printf("Text pane (%ld x %ld pixels): seconds for a text without a line break (Wine)\n", r.right - r.left,
              r.bottom - r.top);
  std::printf("%8s %8s %8s %12s %10s %8s\n", "bytes", "shown", "all in", "longest step", "baseline", "ratio");
  int status = 0;
  for (std::size_t size : {std::size_t{102000}, std::size_t{999999}}) {
    const std::string text = OneLine(size);
    std::vector<std::size_t> inserted;
    const std::string shown = PaneDisplayForm(text, &inserted);

    SetWindowTextA(bare, "");
    double t = Now();
    SetWindowTextA(bare, shown.c_str());
    UpdateWindow(bare);
    const double baseline = Now() - t;

    TextPaneSetText("");
    PumpFor(0.2);
    t = Now();
    TextPaneSetText(text.c_str());
    UpdateWindow(Shell.MainWindow);
    const double shownAfter = Now() - t;
    double longest = 0;
    while (GetWindowTextLengthA(pane) < static_cast<int>(shown.size()) && Now() - t < 300) {
      longest = std::max(longest, PumpOnce());
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    const double allIn = Now() - t;
    if (GetWindowTextLengthA(pane) != static_cast<int>(shown.size())) {
      std::printf("%8zu: the pane holds %d bytes, not %zu\n", size, GetWindowTextLengthA(pane), shown.size());
      status = 1;
    }
    std::printf("%8zu %8.3f %8.3f %12.3f %10.3f %8.3f\n", size, shownAfter, allIn, longest, baseline,
                shownAfter / baseline);
  }
  std::printf("(shown: until TextPaneSetText and the first paint return; ratio: shown / baseline;\n"
              " goal: shown within 1 s. Before soft breaks, 102,000 bytes on one line took 39 s.)\n");

  DestroyWindow(bareParent);
  SendMessageA(Shell.MainWindow, WM_CLOSE, 0, 0);
  PumpFor(0.5);
  AppShutdown();
  SetCurrentDirectoryA(fs::temp_directory_path().string().c_str());
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
