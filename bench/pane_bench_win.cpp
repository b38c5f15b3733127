// The text pane with very long lines: how long the pane takes to show a
// text of 102,000 and of 999,999 bytes without a line break, against the
// same bytes with a line break every 60 characters (which the edit control
// wraps cheaply). Run under Wine by run-pane-bench.sh.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/globals.h"
#include "content/text_pane.h"
#include "res/resource.h"

namespace {

std::string Words(std::size_t size, bool breaks) {
  std::string text;
  std::size_t column = 0;
  for (int i = 0; text.size() < size; ++i) {
    if (breaks && column >= 58) {
      text += "\r\n";
      column = 0;
      continue;
    }
    text += static_cast<char>('a' + i % 26);
    ++column;
    if (i % 7 == 6) {
      text += ' ';
      ++column;
    }
  }
  text.resize(size);
  return text;
}

double ShowSeconds(const std::string& text) {
  TextPaneSetText("");
  auto start = std::chrono::steady_clock::now();
  TextPaneSetText(text.c_str());
  // Shown: laid out and painted.
  UpdateWindow(MainWindow);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VelmorPaneBench";
  RegisterClassA(&wc);
  MainWindow = CreateWindowA("VelmorPaneBench", "VelmorW", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 456, 400,
                             nullptr, nullptr, wc.hInstance, nullptr);
  // The main window's pane: the same style and about its usual size.
  CreateWindowA("EDIT", "",
                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY |
                    ES_WANTRETURN,
                5, 120, 430, 230, MainWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_TEXTPANE)),
                wc.hInstance, nullptr);
  std::printf("Text pane: seconds to show a text (Wine)\n");
  std::printf("%10s %14s %18s %8s\n", "bytes", "one line", "breaks every 60", "ratio");
  for (std::size_t size : {std::size_t{102000}, std::size_t{999999}}) {
    const double broken = ShowSeconds(Words(size, true));
    const double single = ShowSeconds(Words(size, false));
    std::printf("%10zu %14.3f %18.3f %8.2f\n", size, single, broken, single / broken);
  }
  std::printf("(before soft breaks: 102,000 bytes on one line took 39 s)\n");
  DestroyWindow(MainWindow);
  return 0;
}
